// VORLANX: start-up runs the whole program; no event loop runs after the mode window.
#include <QApplication>

#include "app/capture_app.h"
#include "app/ui/qt_startup_windows.h"
#include "platform/key_value_store.h"
#include "platform/process.h"
#include "platform/qt/qt_user_prompt.h"

int main(int argc, char** argv) {
    // The command line as the user gave it, before Qt takes its own options out.
    const std::string commandLine = vorlanx::JoinArguments(argc, argv);
    QApplication app(argc, argv);

    vorlanx::QtUserPrompt prompt;
    vorlanx::FileKeyValueStore store;
    vorlanx::SpawnProgramLauncher launcher;
    vorlanx::QtStartupWindows windows(prompt);
    vorlanx::CaptureApp capture({prompt, store, launcher, windows});
    return capture.run(commandLine);
}
