#include "app/tract1/program.h"

#include "dataset/xqmsg.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"

namespace app {
namespace {

platform::ui::Ui* engineUi = nullptr;

int EngineBox(const std::string& text, const std::string& caption, unsigned flags) {
  if (engineUi == nullptr) return morvane::kIdOk;
  return static_cast<int>(
      engineUi->MessageBox(platform::ui::MessageBoxFromFlags(text, caption, flags)));
}

}  // namespace

void ProgramStartup(platform::ui::Ui& ui) {
  ui.SetApplicationTitle(kApplicationTitle);
  morvane::EngineStartup();
  morvane::DatasetStartup();
  engineUi = &ui;
  morvane::SetEngineMessageBoxHook(&EngineBox);
  morvane::SetProgressUi(&ui);  // the engine's progress windows
}

void ProgramShutdown() {
  morvane::SetProgressUi(nullptr);
  morvane::EngineShutdown();
  morvane::SetEngineMessageBoxHook(nullptr);
  engineUi = nullptr;
}

}  // namespace app
