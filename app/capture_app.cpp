#include "app/capture_app.h"

#include <cstdio>

#include "app/command_line.h"
#include "settings/product.h"
#include "settings/settings_file.h"
#include "setup/install.h"

namespace vorlanx {
namespace {

std::string format(const char* fmt, const char* a, const char* b) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

}  // namespace

std::string JoinArguments(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            text += ' ';
        text += argv[i];
    }
    return text;
}

int CaptureApp::fatal(const char* text) {
    m_services.prompt.tell("", text);
    return kFatalExitCode;
}

int CaptureApp::run(std::string_view commandLineText) {
    const CommandLine cl = ParseCommandLine(commandLineText);
    if (!cl.empty) {
        if (cl.help) {
            m_services.prompt.tell(kProductName, kOptionListText, PromptIcon::Information);
            return 0;
        }
        if (!cl.anyOption()) {
            m_services.prompt.tell(kProductName, kNotImplementedText, PromptIcon::Information);
            return 0;
        }
        if (cl.uninstall) {
            m_services.windows.runUninstaller();
            return 0;
        }
    }
    // Linux sockets need no library start-up.

    if (!cl.noInstall) {
        switch (checkInstalledCopy()) {
            case InstallCheck::InstalledCopy:
                break;
            case InstallCheck::FirstRun:
                return firstRun();
            case InstallCheck::Exit:
                return 0;
            case InstallCheck::Fatal:
                return kFatalExitCode;
        }
    }
    return normalRun(cl.packetMode, cl.fileMode);
}

CaptureApp::InstallCheck CaptureApp::checkInstalledCopy() {
    const auto values = m_services.store.readKey(kInstallKey);
    if (!values)
        return InstallCheck::FirstRun;
    auto value = [&](const char* name) {
        auto it = values->find(name);
        return it == values->end() ? std::string() : it->second;
    };
    const std::string installedPath = value(kInstalledPathValue);
    const std::string installedVersion = value(kInstalledVersionValue);
    if (installedPath.empty())
        return InstallCheck::FirstRun;

    const auto running = m_services.executablePath();
    if (!running) {
        fatal("Fatal-initialization error #6");
        return InstallCheck::Fatal;
    }
    // The same file however it is spelled (a link, another path to it); another file with a
    // name differing only in letter case is another copy.
    if (SameFile(installedPath, *running))
        return InstallCheck::InstalledCopy;

    const std::string question =
        installedVersion.empty()
            ? format("Would you like to install version %s of %s?", kProductVersion, kProductName)
            : format("Would you like to re-install %s %s?", kProductName, kProductVersion);
    const PromptAnswer answer = m_services.prompt.ask(
        {kProductName, question, PromptButtons::YesNoCancel, PromptIcon::Question, false});
    switch (answer) {
        case PromptAnswer::Yes:
            return InstallCheck::FirstRun;
        case PromptAnswer::No:
            if (m_services.launcher.start(installedPath, {" NoInstall"}))
                return InstallCheck::Exit;
            m_services.prompt.tell(kProductName,
                            "Unable to execute installed program, will now execute self "
                            "contained program.",
                            PromptIcon::Information);
            return InstallCheck::InstalledCopy;
        case PromptAnswer::Cancel:
        case PromptAnswer::Ok:
            return InstallCheck::Exit;
    }
    return InstallCheck::Exit;
}

int CaptureApp::firstRun() {
    if (!m_services.windows.runAgreement())
        return 0;
    m_services.windows.runInstaller();
    return 0;
}

int CaptureApp::normalRun(bool packetMode, bool fileMode) {
    const auto exe = m_services.executablePath();
    if (!exe)
        return fatal("Fatal-initialization error #6");
    m_settingsPath = SettingsFilePath(*exe);
    LoadSettings(m_settings, m_settingsPath);
    SaveSettings(m_settings, m_settingsPath);  // a failed write is silent; we run on

    if (!m_settings.useWindowsColors())
        m_services.windows.setDialogColors(kDialogBackgroundColor, kDialogTextColor);

    if (packetMode) {
        m_settings.setMode(CaptureMode::Packet);
    } else if (fileMode) {
        m_settings.setMode(CaptureMode::File);
    } else if (m_settings.showModeChoice()) {
        if (!m_services.windows.runModeChoice(m_settings))
            return 0;
    }

    switch (static_cast<CaptureMode>(m_settings.mode())) {
        case CaptureMode::Packet:
            return m_services.windows.runPacketMode(m_settings, m_settingsPath);
        case CaptureMode::File:
            return m_services.windows.runFileMode(m_settings, m_settingsPath);
    }
    return 0;  // a number no mode has
}

}  // namespace vorlanx
