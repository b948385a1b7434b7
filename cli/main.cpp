// benchlordctl: the command-line front end. No widgets: a QCoreApplication (a QGuiApplication on
// the offscreen platform when a picture is drawn) runs the same session logic as the window.

#include <QCoreApplication>
#include <QGuiApplication>
#include <QStringList>
#include <csignal>
#include <cstring>
#include <iostream>
#include <memory>

#include "benchlord_version.h"
#include "cli/cli_args.h"
#include "cli/cli_completion.h"
#include "cli/cli_manual.h"
#include "cli/cli_messages.h"
#include "cli/cli_runner.h"
#include "link/signal_pipe.h"

namespace {
// Whether the command draws a picture (sweep --png): fonts need the GUI part of Qt, started on
// the offscreen platform since benchlordctl never shows a window.
bool DrawsPictures(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--completion-words") == 0) return false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--png") == 0 || std::strncmp(argv[i], "--png=", 6) == 0)
            return true;
    return false;
}

// The tool reports through its own lines only. Qt's notices ("QStandardPaths: XDG_RUNTIME_DIR not
// set" when the picture's fonts are set up) are about the toolkit, not the supply, and would mix
// into what scripts read; only a toolkit failure is still told.
void ToolkitMessage(QtMsgType AType, const QMessageLogContext&, const QString& AText) {
    if (AType == QtCriticalMsg || AType == QtFatalMsg)
        std::cerr << "benchlordctl: " << AText.toStdString() << std::endl;
}
}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(ToolkitMessage);
    std::unique_ptr<QCoreApplication> app;
    if (DrawsPictures(argc, argv)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName("benchlordctl");
    TSignalPipe signalPipe;
    // A closed standard output must not kill the process before it releases the keys; the
    // failed write ends the command instead.
    std::signal(SIGPIPE, SIG_IGN);

    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    // What the bash completion offers after the words typed, one word a line.
    if (!args.isEmpty() && args[0] == QStringLiteral("--completion-words")) {
        for (const QString& word : CompletionWords(args.mid(1)))
            std::cout << word.toStdString() << '\n';
        return 0;
    }
    // The whole manual at once (the man page is made from it).
    if (args == QStringList{QStringLiteral("--help-all")}) {
        std::cout << ManualHelp().toStdString();
        return 0;
    }
    if (args.contains(QStringLiteral("--version"))) {
        std::cout << "benchlordctl " BENCHLORD_VERSION "\n" BENCHLORD_VERSION_NOTICE << std::flush;
        return 0;
    }
    const TParseResult parsed = ParseArguments(args);
    if (!parsed.Error.isEmpty()) {
        for (const QString& line : parsed.Error.split('\n'))
            std::cerr << "benchlordctl: " << EscapeControls(line).toStdString() << "\n";
        std::cerr << "Try 'benchlordctl --help'." << std::endl;
        return ceUsage;
    }

    TCliRunner runner(parsed.Request, std::cout, std::cerr);
    signalPipe.fOnSignal = [&runner](int) { runner.Interrupt(); };
    runner.fOnFinished = [](int ACode) { QCoreApplication::exit(ACode); };
    runner.Start();
    return QCoreApplication::exec();
}
