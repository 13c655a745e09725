// Windows system error codes as the ports report them. Adapters translate
// their OS's failures into these once, at their edge; the core compares
// against these names only.
#pragma once

#include <cstdint>

namespace hs {

using WinError = std::int32_t;

namespace err {
inline constexpr WinError kSuccess = 0;
inline constexpr WinError kFileNotFound = 2;
inline constexpr WinError kPathNotFound = 3;
inline constexpr WinError kAccessDenied = 5;
inline constexpr WinError kInvalidHandle = 6;
inline constexpr WinError kNotEnoughMemory = 8;
inline constexpr WinError kInvalidData = 13;
inline constexpr WinError kWriteFault = 29;
inline constexpr WinError kReadFault = 30;
inline constexpr WinError kSharingViolation = 32;
inline constexpr WinError kHandleEof = 38;
inline constexpr WinError kNotSupported = 50;
inline constexpr WinError kFileExists = 80;
inline constexpr WinError kInvalidParameter = 87;
inline constexpr WinError kDiskFull = 112;
inline constexpr WinError kCallNotImplemented = 120;
inline constexpr WinError kInsufficientBuffer = 122;
inline constexpr WinError kInvalidName = 123;
inline constexpr WinError kDirNotEmpty = 145;
inline constexpr WinError kBadPathname = 161;
inline constexpr WinError kFileTooLarge = 223;
inline constexpr WinError kAlreadyExists = 183;
inline constexpr WinError kMoreData = 234;
inline constexpr WinError kNoMoreItems = 259;
inline constexpr WinError kBadDbDatabase = 1009;
inline constexpr WinError kBadKey = 1010;
inline constexpr WinError kCantOpen = 1011;
inline constexpr WinError kCantRead = 1012;
inline constexpr WinError kCantWrite = 1013;
inline constexpr WinError kRegistryCorrupt = 1015;
inline constexpr WinError kKeyDeleted = 1018;
inline constexpr WinError kChildMustBeVolatile = 1021;
inline constexpr WinError kPrivilegeNotHeld = 1314;
inline constexpr WinError kCancelled = 1223;
}  // namespace err

}  // namespace hs
