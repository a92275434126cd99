#include "support/FakeUserInterface.h"

namespace orbtest {

int FakeUserInterface::ShowMessageBox(const std::string& text, const std::string& caption,
                                      std::uint32_t flags) {
  boxes_.push_back({text, caption, flags});
  if (box_answers_.empty()) return platform::kIdOk;
  int id = box_answers_.front();
  box_answers_.pop_front();
  return id;
}

bool FakeUserInterface::BrowseForFolder(const platform::BrowseRequest& request,
                                        std::string& folder) {
  browse_requests_.push_back(request);
  for (const std::string& f : probed_) verdicts_.push_back(!request.accept || request.accept(f));
  while (!folder_answers_.empty()) {
    FolderAnswer a = folder_answers_.front();
    folder_answers_.pop_front();
    if (a.cancel) return false;
    if (request.accept && !request.accept(a.folder)) {
      refused_.push_back(a.folder);
      continue;
    }
    folder = a.folder;
    return true;
  }
  return false;
}

}  // namespace orbtest
