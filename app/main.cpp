// VORLANX: start-up runs the whole program; no event loop runs after the mode window.
#include <QApplication>

#include "app/capture_app.h"
#include "app/ui/qt_startup_windows.h"
#include "platform/key_value_store.h"
#include "platform/process.h"
#include "platform/qt/qt_user_prompt.h"
#include "setup/install.h"

int main(int argc, char** argv) {
    // The command line as the user gave it, before Qt takes its own options out.
    const std::string commandLine = vorlanx::JoinArguments(argc, argv);
    QApplication app(argc, argv);
    // The window class and desktop file name the installed menu entry names, so the
    // desktop puts the running window under that entry, whichever file was started.
    QApplication::setApplicationName(QString::fromLatin1(vorlanx::kWindowClass));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(vorlanx::kEntryFileName).chopped(8));

    vorlanx::QtUserPrompt prompt;
    vorlanx::FileKeyValueStore store;
    vorlanx::SpawnProgramLauncher launcher;
    vorlanx::QtStartupWindows windows(prompt, store, launcher);
    vorlanx::CaptureApp capture({prompt, store, launcher, windows});
    return capture.run(commandLine);
}
