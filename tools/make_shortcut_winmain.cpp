// hs_make_shortcut: writes a shortcut (.lnk) file through the system's
// shell-link object, as the sample machine's and the tests' shortcut files
// were made (under Wine).
//   hs_make_shortcut LINK TARGET [--args TEXT] [--workdir DIR] [--relative]
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/win32_shell_links.h"

namespace {

hs::Text FromWide(const wchar_t* s) { return hs::Text(reinterpret_cast<const char16_t*>(s)); }

int Usage() {
  std::fprintf(stderr, "usage: hs_make_shortcut LINK TARGET [--args TEXT] [--workdir DIR] [--relative]\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return Usage();
  hs::ShellLinkFields fields;
  fields.target = FromWide(argv[2]);
  for (int i = 3; i < argc; ++i) {
    const std::wstring a = argv[i];
    if (a == L"--relative")
      fields.relative = true;
    else if (a == L"--args" && i + 1 < argc)
      fields.arguments = FromWide(argv[++i]);
    else if (a == L"--workdir" && i + 1 < argc)
      fields.working_folder = FromWide(argv[++i]);
    else
      return Usage();
  }
  hs::Win32ShellLinks links;
  const auto guard = links.EnterThread();
  const long hr = hs::SaveShellLink(FromWide(argv[1]), fields);
  if (hr != 0) {
    std::fprintf(stderr, "hs_make_shortcut: the shortcut was not saved (0x%08lx)\n", static_cast<unsigned long>(hr));
    return 1;
  }
  const hs::Text back = links.TargetPath(FromWide(argv[1]));
  std::printf("%s\n", hs::ToUtf8(back).c_str());
  return 0;
}
