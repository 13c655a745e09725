// CFonts (area bit 0x0008): the installed-font list under
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts (the
// 64-bit view on 64-bit Windows). Each value names a font file: an absolute
// path ("X:\...") is tested as it is, anything else in the fonts folder.
//
// Reports entry type 23 for a font file that is missing and for a font value
// whose data is empty. Values that are not strings are passed over.
#pragma once

#include "areas/program_area.h"

namespace hs {

class CFonts final : public CProgramArea {
 public:
  explicit CFonts(ScanManager& manager);

  // 1 when done (also when the fonts key cannot be opened), 2 when
  // cancelled (unsorted).
  int Scan() override;
  // Counts the values of the fonts key (font_count()); false when the key
  // cannot be opened or holds none.
  bool PrepareScan() override;

  std::size_t font_count() const { return font_count_; }
  // The fonts folder with a trailing backslash (resolved on the first scan,
  // then kept); empty when the shell does not know it.
  const Text& fonts_folder() const { return fonts_folder_; }

 private:
  std::size_t font_count_ = 0;
  bool folder_known_ = false;
  Text fonts_folder_;
};

}  // namespace hs
