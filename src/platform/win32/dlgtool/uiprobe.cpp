// uiprobe: shows the layer's real message box or folder dialog, for the dialog checks of
// scripts/wine-checks.sh, which answer them with dlgtool.exe. Arguments arrive in the ANSI
// code page (GBK under Wine's zh_CN locale), as the layer expects; results are printed as
// UTF-8.
//
//   uiprobe.exe msgbox TEXT CAPTION FLAGS        prints "result=N"
//   uiprobe.exe browse INITIAL [REJECT]          prints "ok=FOLDER" or "cancel"; folders whose
//                                                path contains REJECT cannot be confirmed
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/codepage.h"
#include "platform/ui.h"

int main(int argc, char** argv) {
  platform::UserInterface& ui = platform::CurrentUserInterface();
  if (argc == 5 && std::strcmp(argv[1], "msgbox") == 0) {
    auto flags = static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 0));
    std::printf("result=%d\n", ui.ShowMessageBox(argv[2], argv[3], flags));
    return 0;
  }
  if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "browse") == 0) {
    platform::BrowseRequest request;
    request.title = "请选择文件夹";
    request.initial_folder = argv[2];
    if (argc == 4) {
      std::string reject = argv[3];
      request.accept = [reject](const std::string& folder) {
        bool ok = folder.find(reject) == std::string::npos;
        std::printf("accept %s: %d\n", platform::GbkToUtf8(folder).c_str(), ok ? 1 : 0);
        std::fflush(stdout);
        return ok;
      };
    }
    std::string folder;
    if (ui.BrowseForFolder(request, folder)) {
      std::printf("ok=%s\n", platform::GbkToUtf8(folder).c_str());
    } else {
      std::printf("cancel\n");
    }
    return 0;
  }
  std::fputs("usage: uiprobe.exe msgbox TEXT CAPTION FLAGS | browse INITIAL [REJECT]\n", stderr);
  return 2;
}
