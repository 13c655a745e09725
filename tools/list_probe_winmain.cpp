// hs_list_probe: drives HiveSweep.exe's detailed problem list from outside,
// for the Wine checks. Rows are read and ticked through the list control's
// messages, with their structures in the program's own memory.
//   hs_list_probe OUT TITLE open      open the list (the results page's
//       "detailed view" as a window command), wait for it, write its title,
//       buttons and rows ("row N ticked=0|1 TEXT") to OUT. The list stays open.
//   hs_list_probe OUT TITLE untick TEXT   untick the first row whose text
//       holds TEXT, write the rows, close the list, then start the repair
//       (command 1154).
//   hs_list_probe OUT TITLE close     close the open list.
// Exit 0 when every step worked.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ui/ui_resources.h"

namespace {

constexpr int kCmdDetailedView = 1190;
constexpr int kCmdRepair = 1154;

FILE* g_out = nullptr;

struct Found {
  HWND owner;
  HWND dialog;
};

BOOL CALLBACK FindList(HWND w, LPARAM lp) {
  auto* f = reinterpret_cast<Found*>(lp);
  if (GetWindow(w, GW_OWNER) == f->owner && IsWindowVisible(w) && GetDlgItem(w, IDC_PROBLEM_LIST)) {
    f->dialog = w;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForList(HWND main, int tenths) {
  Found f{main, nullptr};
  for (int i = 0; i < tenths && !f.dialog; ++i, Sleep(100)) EnumWindows(&FindList, reinterpret_cast<LPARAM>(&f));
  return f.dialog;
}

// An LVITEMW and a text buffer in the list's process.
class RemoteItem {
 public:
  explicit RemoteItem(HWND list) {
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) memory_ = VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT, PAGE_READWRITE);
  }
  ~RemoteItem() {
    if (memory_) VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  bool ok() const { return memory_ != nullptr; }
  std::wstring Text(HWND list, int row) {
    LVITEMW item{};
    item.iSubItem = 0;
    item.cchTextMax = kChars;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(memory_) + sizeof(LVITEMW));
    if (!WriteProcessMemory(process_, memory_, &item, sizeof(item), nullptr)) return L"";
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(memory_));
    std::vector<wchar_t> text(kChars + 1, L'\0');
    ReadProcessMemory(process_, item.pszText, text.data(), kChars * sizeof(wchar_t), nullptr);
    return text.data();
  }
  bool SetTicked(HWND list, int row, bool ticked) {
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(ticked ? 2 : 1);
    if (!WriteProcessMemory(process_, memory_, &item, sizeof(item), nullptr)) return false;
    return SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(memory_)) != FALSE;
  }

 private:
  static constexpr int kChars = 2048;
  static constexpr SIZE_T kSize = sizeof(LVITEMW) + (kChars + 1) * sizeof(wchar_t);
  HANDLE process_ = nullptr;
  void* memory_ = nullptr;
};

bool Ticked(HWND list, int row) {
  const UINT state = static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
  return (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

void WriteControl(HWND dialog, int id, const wchar_t* name) {
  wchar_t text[256] = {};
  GetDlgItemTextW(dialog, id, text, 256);
  const LRESULT check = SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0);
  fwprintf(g_out, L"%ls %ls check=%d\n", name, text, static_cast<int>(check));
}

bool WriteList(HWND dialog, RemoteItem& remote) {
  wchar_t title[256] = {};
  GetWindowTextW(dialog, title, 256);
  fwprintf(g_out, L"title %ls\n", title);
  WriteControl(dialog, IDC_PROBLEM_SELECT_ALL, L"selectall");
  WriteControl(dialog, IDC_PROBLEM_EXPORT, L"export");
  WriteControl(dialog, IDCANCEL, L"close");
  HWND list = GetDlgItem(dialog, IDC_PROBLEM_LIST);
  const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  fwprintf(g_out, L"rows %d\n", rows);
  for (int i = 0; i < rows; ++i)
    fwprintf(g_out, L"row %d ticked=%d %ls\n", i, Ticked(list, i) ? 1 : 0, remote.Text(list, i).c_str());
  return remote.ok();
}

bool CloseList(HWND dialog) {
  SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  for (int i = 0; i < 50 && IsWindow(dialog); ++i) Sleep(100);
  return !IsWindow(dialog);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  g_out = _wfopen(argv[1], L"w, ccs=UTF-8");
  if (!g_out) return 2;
  const std::wstring mode = argv[3];
  HWND main = nullptr;
  for (int i = 0; i < 600 && !main; ++i, Sleep(100)) main = FindWindowW(L"#32770", argv[2]);
  int code = 1;
  if (main) {
    HWND dialog = WaitForList(main, 1);
    if (mode == L"open" && !dialog) {
      // As a user would: once the window shows (a list opened before
      // would be covered when it comes up).
      for (int i = 0; i < 600 && !IsWindowVisible(main); ++i) Sleep(100);
      PostMessageW(main, WM_COMMAND, kCmdDetailedView, 0);
      dialog = WaitForList(main, 300);
    }
    if (dialog) {
      HWND list = GetDlgItem(dialog, IDC_PROBLEM_LIST);
      RemoteItem remote(list);
      if (mode == L"open") {
        code = WriteList(dialog, remote) ? 0 : 1;
      } else if (mode == L"close") {
        code = CloseList(dialog) ? 0 : 1;
      } else if (mode == L"untick" && argc > 4) {
        const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        int target = -1;
        for (int i = 0; i < rows && target < 0; ++i)
          if (remote.Text(list, i).find(argv[4]) != std::wstring::npos) target = i;
        if (target >= 0 && remote.SetTicked(list, target, false) && !Ticked(list, target)) {
          fwprintf(g_out, L"unticked %d\n", target);
          WriteList(dialog, remote);
          if (CloseList(dialog)) {
            PostMessageW(main, WM_COMMAND, kCmdRepair, 0);
            fwprintf(g_out, L"repair started\n");
            code = 0;
          }
        }
      }
    }
  }
  fwprintf(g_out, L"done %d\n", code);
  fclose(g_out);
  return code;
}
