// The operator's side on Windows: real message boxes and the shell's folder dialog.
#include "platform/backend.h"
#include "platform/win32/windows_api.h"

namespace platform::backend {
namespace {

// BFFM_* and BIF_* as the shell documents them; named here so the callback reads plainly.
constexpr UINT kBffmInitialized = 1;
constexpr UINT kBffmSelChanged = 2;
constexpr UINT kBffmEnableOk = WM_USER + 101;
constexpr UINT kBffmSetSelectionA = WM_USER + 102;
constexpr UINT kBifReturnOnlyFsDirs = 0x0001;
constexpr UINT kBifDontGoBelowDomain = 0x0002;
constexpr UINT kBifNewDialogStyle = 0x0040;

// Frees what the shell allocated, through the shell's allocator.
class ShellMemory {
 public:
  explicit ShellMemory(IMalloc* allocator) : allocator_(allocator) {}
  ShellMemory(const ShellMemory&) = delete;
  ShellMemory& operator=(const ShellMemory&) = delete;
  ~ShellMemory() { allocator_->Release(); }
  void Free(void* p) {
    if (p) allocator_->Free(p);
  }

 private:
  IMalloc* allocator_;
};

struct BrowseContext {
  const BrowseRequest* request;
  int selection_retries = 0;
};

// The dialog shown on this thread, for the timer below (a dialog is modal: one at a time).
thread_local BrowseContext* t_browsing = nullptr;

constexpr UINT_PTR kRetryTimer = 0x4F52;
constexpr int kMaxSelectionRetries = 20;

BOOL CALLBACK FindTree(HWND w, LPARAM out) {
  char name[32] = {};
  ::GetClassNameA(w, name, sizeof name);
  if (lstrcmpiA(name, WC_TREEVIEWA) != 0) return TRUE;
  *reinterpret_cast<HWND*>(out) = w;
  return FALSE;
}

void SelectInitialFolder(HWND dialog, const BrowseRequest& request) {
  // wParam TRUE: lParam is a path (GBK, as the A message expects), not an item list.
  ::SendMessageA(dialog, kBffmSetSelectionA, TRUE,
                 reinterpret_cast<LPARAM>(request.initial_folder.c_str()));
}

// Wine sometimes drops the preselection of a dialog that has just been created (the tree
// then has no selection at all, and OK would return the desktop). Until the tree shows a
// selection, the preselection is repeated a few times; an operator's choice is never undone,
// since any selection stops the retries.
void CALLBACK RetrySelection(HWND dialog, UINT, UINT_PTR id, DWORD) {
  BrowseContext* context = t_browsing;
  HWND tree = nullptr;
  ::EnumChildWindows(dialog, FindTree, reinterpret_cast<LPARAM>(&tree));
  if (!context || !tree || ::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0) != 0 ||
      ++context->selection_retries > kMaxSelectionRetries) {
    ::KillTimer(dialog, id);
    return;
  }
  SelectInitialFolder(dialog, *context->request);
}

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM param, LPARAM data) {
  auto* context = reinterpret_cast<BrowseContext*>(data);
  const BrowseRequest& request = *context->request;
  if (message == kBffmInitialized) {
    if (!request.initial_folder.empty()) {
      SelectInitialFolder(dialog, request);
      ::SetTimer(dialog, kRetryTimer, 150, RetrySelection);
    }
  } else if (message == kBffmSelChanged) {
    char path[MAX_PATH + 1] = {};
    if (!::SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(param), path) || !path[0]) {
      return 0;
    }
    bool accept = true;
    if (request.accept) accept = request.accept(std::string(path));
    ::SendMessageA(dialog, kBffmEnableOk, 0, accept ? 1 : 0);
    // Wine re-validates the selection after this callback returns and enables OK again for
    // any file-system folder; the posted copy arrives after that and has the last word.
    ::PostMessageA(dialog, kBffmEnableOk, 0, accept ? 1 : 0);
  }
  return 0;
}

// An item list for a GBK path, parsed by the desktop folder; null when it does not parse.
LPITEMIDLIST ParsePath(const std::string& path) {
  IShellFolder* desktop = nullptr;
  if (FAILED(::SHGetDesktopFolder(&desktop)) || !desktop) return nullptr;
  std::wstring wide = win32::WideFromGbk(path);
  LPITEMIDLIST item = nullptr;
  ULONG eaten = 0;
  if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, wide.data(), &eaten, &item, nullptr))) {
    item = nullptr;
  }
  desktop->Release();
  return item;
}

class WindowsUserInterface final : public UserInterface {
 public:
  int ShowMessageBox(const std::string& text, const std::string& caption,
                     std::uint32_t flags) override {
    // Through the W call after converting from 936, so the Chinese reads correctly on a
    // Windows whose ANSI code page is another one.
    std::wstring wide_text = win32::WideFromGbk(text);
    std::wstring wide_caption = win32::WideFromGbk(caption);
    int r = ::MessageBoxW(nullptr, wide_text.c_str(), wide_caption.c_str(), flags);
    if (r == 0) win32::Failure();
    return r;
  }

  bool BrowseForFolder(const BrowseRequest& request, std::string& folder) override {
    // The dialog needs COM on this thread; a second initialisation is harmless and, as the
    // program never uninitialises, left unbalanced on purpose.
    ::CoInitialize(nullptr);
    IMalloc* allocator = nullptr;
    if (FAILED(::SHGetMalloc(&allocator)) || !allocator) {
      win32::Outcome(ERROR_NOT_ENOUGH_MEMORY);
      return false;
    }
    ShellMemory memory(allocator);
    LPITEMIDLIST root = request.root.empty() ? nullptr : ParsePath(request.root);

    BrowseContext context{&request};
    t_browsing = &context;
    char display_name[MAX_PATH + 1] = {};
    BROWSEINFOA info{};
    info.hwndOwner = nullptr;
    info.pidlRoot = root;
    info.pszDisplayName = display_name;
    info.lpszTitle = request.title.c_str();
    info.ulFlags = kBifReturnOnlyFsDirs;
    if (request.new_style) info.ulFlags |= kBifNewDialogStyle;
    if (request.dont_go_below_domain) info.ulFlags |= kBifDontGoBelowDomain;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(&context);

    LPITEMIDLIST chosen = ::SHBrowseForFolderA(&info);
    t_browsing = nullptr;
    memory.Free(root);
    if (!chosen) {
      win32::Outcome(ERROR_CANCELLED);
      return false;
    }
    char path[MAX_PATH + 1] = {};
    BOOL ok = ::SHGetPathFromIDListA(chosen, path);
    memory.Free(chosen);
    if (!ok) {
      win32::Outcome(ERROR_CANCELLED);
      return false;
    }
    folder = path;
    win32::Outcome(0);
    return true;
  }

  void ProcessMessages() override {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // Leave the request to end for the loop that owns the program's lifetime.
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
};

}  // namespace

UserInterface& SystemUserInterface() {
  static WindowsUserInterface ui;
  return ui;
}

}  // namespace platform::backend
