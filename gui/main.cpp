// agemill: the desktop program. Starts the engine, shows the main window and runs the window
// system's loop until the window closes.
//   agemill                        the window
//   agemill --screenshot FILE.png  the window after its set-up, saved as a picture; then exits
//                                  (offscreen when there is no display)
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/tract1/program.h"
#include "app/tract1/tract1.h"
#include "gui/main_window.h"
#include "gui/qt_ui.h"

namespace {

bool Empty(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr || *v == '\0';
}

void Usage(FILE* out) {
  std::fputs("usage: agemill [--screenshot FILE.png]\n", out);
}

}  // namespace

int main(int argc, char** argv) {
  std::string screenshot;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
      screenshot = argv[++i];
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      Usage(stdout);
      return 0;
    } else {
      Usage(stderr);
      return 2;
    }
  }
  // Without a display a screenshot is taken offscreen.
  if (!screenshot.empty() && Empty("QT_QPA_PLATFORM") && Empty("DISPLAY") &&
      Empty("WAYLAND_DISPLAY")) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName(app::kApplicationTitle);
  gui::ApplyApplicationFont();

  gui::QtUi ui;
  app::ProgramStartup(ui);
  int rc = 0;
  {
    app::Ttract1f tract(ui);
    gui::MainWindow window(tract, ui);
    window.show();
    if (!screenshot.empty()) {
      QApplication::processEvents();
      QPixmap picture = window.grab();
      if (!picture.save(QString::fromLocal8Bit(screenshot.c_str()), "PNG")) {
        std::fprintf(stderr, "agemill: cannot write %s\n", screenshot.c_str());
        rc = 1;
      }
    } else {
      rc = QApplication::exec();
    }
  }
  app::ProgramShutdown();
  return rc;
}
