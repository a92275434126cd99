// dlgtool: answers the dialogs of another program from outside, for end-to-end tests under
// Wine, where the null display driver creates message boxes and dialogs but shows nothing.
// It needs no window of its own: it finds the dialog among the top-level windows and talks
// to it with messages, which work across processes and for invisible windows.
#include <windows.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// Wide, so that the example caption prints right whatever the execution character set.
const wchar_t kUsage[] =
    L"usage: dlgtool.exe [--timeout SECONDS] CAPTION COMMAND...\n"
    L"\n"
    L"Waits (10 s unless --timeout says otherwise) for a visible dialog (window class\n"
    L"#32770) whose caption is CAPTION exactly, or any dialog for '*', then runs the\n"
    L"commands on it in order:\n"
    L"  list            prints the caption and every control: id, class, visible, enabled\n"
    L"                  and the full text ([...], with \\r and \\n escaped), as UTF-8\n"
    L"  click ID        presses the button ID (WM_COMMAND BN_CLICKED; also when disabled)\n"
    L"  waitsel TREEID  waits until the tree view TREEID has a selected item\n"
    L"  treenext TREEID moves the tree's selection to the next sibling item\n"
    L"  waitenabled ID  waits until the control ID is enabled\n"
    L"  waitdisabled ID waits until the control ID is disabled\n"
    L"  gone            waits until the dialog has closed\n"
    L"Example: dlgtool.exe 选择文件夹 waitsel 14145 treenext 14145 click 1\n"
    L"Exit status: 0 done; 1 no such dialog, or a wait timed out; 2 bad usage;\n"
    L"3 no such control.\n";

DWORD g_timeout_ms = 10000;

void Out(const std::wstring& text, FILE* stream = stdout) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                        nullptr, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
}

// The full text of a window of another process: WM_GETTEXT is marshalled across processes,
// which GetWindowText does not do for controls.
std::wstring TextOf(HWND w) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
    wchar_t buffer[1024] = {};
    ::GetWindowTextW(w, buffer, 1024);
    return buffer;
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 2000, &copied);
  text.resize(copied);
  return text;
}

std::wstring ClassOf(HWND w) {
  wchar_t name[256] = {};
  ::GetClassNameW(w, name, 256);
  return name;
}

std::wstring Escaped(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\n') {
      out += L"\\n";
    } else if (c == L'\r') {
      out += L"\\r";
    } else {
      out += c;
    }
  }
  return out;
}

struct Search {
  const wchar_t* caption;
  HWND found;
};

BOOL CALLBACK MatchDialog(HWND w, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  if (!::IsWindowVisible(w) || ClassOf(w) != L"#32770") return TRUE;
  if (std::wcscmp(s->caption, L"*") != 0 && TextOf(w) != s->caption) return TRUE;
  s->found = w;
  return FALSE;
}

HWND WaitForDialog(const wchar_t* caption) {
  DWORD start = ::GetTickCount();
  for (;;) {
    Search s{caption, nullptr};
    ::EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&s));
    if (s.found) return s.found;
    if (::GetTickCount() - start > g_timeout_ms) return nullptr;
    ::Sleep(50);
  }
}

BOOL CALLBACK ListControl(HWND w, LPARAM) {
  Out(L"  id=" + std::to_wstring(::GetDlgCtrlID(w)) + L" class=" + ClassOf(w) +
      L" visible=" + std::to_wstring(::IsWindowVisible(w) ? 1 : 0) + L" enabled=" +
      std::to_wstring(::IsWindowEnabled(w) ? 1 : 0) + L" text=[" + Escaped(TextOf(w)) + L"]\n");
  return TRUE;
}

bool ParseId(const wchar_t* text, int& id) {
  wchar_t* end = nullptr;
  long v = std::wcstol(text, &end, 10);
  if (end == text || *end != L'\0') return false;
  id = static_cast<int>(v);
  return true;
}

HTREEITEM Selection(HWND tree) {
  DWORD_PTR item = 0;
  ::SendMessageTimeoutW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, SMTO_ABORTIFHUNG, 2000, &item);
  return reinterpret_cast<HTREEITEM>(item);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // UTF-8 with bare \n, whatever the console.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  int i = 1;
  if (i + 1 < argc && std::wcscmp(argv[i], L"--timeout") == 0) {
    int seconds = 0;
    if (!ParseId(argv[i + 1], seconds) || seconds <= 0) {
      Out(kUsage, stderr);
      return 2;
    }
    g_timeout_ms = static_cast<DWORD>(seconds) * 1000;
    i += 2;
  }
  if (argc - i < 2) {
    Out(kUsage, stderr);
    return 2;
  }
  const wchar_t* caption = argv[i++];
  HWND dialog = WaitForDialog(caption);
  if (!dialog) {
    Out(L"TIMEOUT: no dialog [" + std::wstring(caption) + L"]\n");
    return 1;
  }
  while (i < argc) {
    std::wstring command = argv[i++];
    if (command == L"list") {
      Out(L"dialog caption=[" + Escaped(TextOf(dialog)) + L"]\n");
      ::EnumChildWindows(dialog, ListControl, 0);
      continue;
    }
    if (command == L"gone") {
      DWORD start = ::GetTickCount();
      while (::IsWindow(dialog) && ::IsWindowVisible(dialog)) {
        if (::GetTickCount() - start > g_timeout_ms) {
          Out(L"TIMEOUT: dialog still open\n");
          return 1;
        }
        ::Sleep(50);
      }
      continue;
    }
    int id = 0;
    if ((command != L"click" && command != L"waitsel" && command != L"treenext" &&
         command != L"waitenabled" && command != L"waitdisabled") ||
        i >= argc ||
        !ParseId(argv[i++], id)) {
      Out(kUsage, stderr);
      return 2;
    }
    HWND control = ::GetDlgItem(dialog, id);
    if (!control) {
      Out(L"NO CONTROL " + std::to_wstring(id) + L"\n");
      return 3;
    }
    if (command == L"click") {
      ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(control));
    } else if (command == L"waitsel") {
      DWORD start = ::GetTickCount();
      while (!Selection(control)) {
        if (::GetTickCount() - start > g_timeout_ms) {
          Out(L"TIMEOUT: no selection in tree " + std::to_wstring(id) + L"\n");
          return 1;
        }
        ::Sleep(50);
      }
    } else if (command == L"waitenabled" || command == L"waitdisabled") {
      bool want = command == L"waitenabled";
      DWORD start = ::GetTickCount();
      while ((::IsWindowEnabled(control) != FALSE) != want) {
        if (::GetTickCount() - start > g_timeout_ms) {
          Out(L"TIMEOUT: control " + std::to_wstring(id) + L" still " +
              (want ? L"disabled" : L"enabled") + L"\n");
          return 1;
        }
        ::Sleep(50);
      }
    } else {  // treenext
      HTREEITEM current = Selection(control);
      DWORD_PTR next = 0;
      ::SendMessageTimeoutW(control, TVM_GETNEXTITEM, TVGN_NEXT,
                            reinterpret_cast<LPARAM>(current), SMTO_ABORTIFHUNG, 2000, &next);
      if (!current || !next) {
        Out(L"NO NEXT ITEM in tree " + std::to_wstring(id) + L"\n");
        return 3;
      }
      DWORD_PTR done = 0;
      ::SendMessageTimeoutW(control, TVM_SELECTITEM, TVGN_CARET, static_cast<LPARAM>(next),
                            SMTO_ABORTIFHUNG, 2000, &done);
    }
  }
  return 0;
}
