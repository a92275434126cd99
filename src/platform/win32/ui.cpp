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
};

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM param, LPARAM data) {
  auto* context = reinterpret_cast<BrowseContext*>(data);
  const BrowseRequest& request = *context->request;
  if (message == kBffmInitialized) {
    if (!request.initial_folder.empty()) {
      // wParam TRUE: lParam is a path (GBK, as the A message expects), not an item list.
      ::SendMessageA(dialog, kBffmSetSelectionA, TRUE,
                     reinterpret_cast<LPARAM>(request.initial_folder.c_str()));
    }
  } else if (message == kBffmSelChanged) {
    char path[MAX_PATH + 1] = {};
    if (!::SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(param), path) || !path[0]) {
      return 0;
    }
    bool accept = true;
    if (request.accept) accept = request.accept(std::string(path));
    ::SendMessageA(dialog, kBffmEnableOk, 0, accept ? 1 : 0);
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
