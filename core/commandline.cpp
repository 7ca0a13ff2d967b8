#include "commandline.h"

#include "filenames.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>

namespace bootvane {

namespace {

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();
    QCommandLineOption drive{QStringLiteral("drive"),
                             QStringLiteral("Drive C is in <path>: a disk image of an emulator "
                                            "in its own format (raw, VHD, VHDX, qcow2, VDI, "
                                            "VMDK, HDI, HDX), or a folder that is the root "
                                            "of a Windows drive C. Without it, the drive last "
                                            "used with the sets folder, else Wine's drive C."),
                             QStringLiteral("path")};
    QCommandLineOption sets{QStringLiteral("sets"),
                            QStringLiteral("Keeps the sets in <folder>, made if missing. Without "
                                           "it, the sets are kept in the folder Bootvane is "
                                           "started in; started in the home folder, in the one "
                                           "the menu entry uses: Bootvane in the documents "
                                           "folder (~/Documents/Bootvane), else ~/Bootvane."),
                            QStringLiteral("folder")};

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Keeps sets of the Windows 95 start-up and shutdown screens in a "
                           "folder (see --sets), and puts one in use on drive C."));
        parser.addOption(drive);
        parser.addOption(sets);
        // "-platform", as Qt spells its own options, is one option, not eight.
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    }
};

void print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

QStringList rawArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(decodeFileName(QByteArray(argv[i])));
    return arguments;
}

std::optional<int> answerWithoutStarting(const QStringList& arguments)
{
    Parser options;
    (void)options.parser.parse(arguments);
    if (options.parser.isSet(options.help) || options.parser.isSet(QStringLiteral("help-all"))) {
        print(stdout, options.parser.helpText().replace(QLatin1String("<executable_name>"),
                                                        QLatin1String("bootvane")));
        return 0;
    }
    if (options.parser.isSet(options.version)) {
        print(stdout, QCoreApplication::applicationName() + QLatin1Char(' ') +
                          QCoreApplication::applicationVersion() + QLatin1Char('\n'));
        return 0;
    }
    // Qt takes its own options (-platform, -style and the like) when the program starts;
    // one that neither knows is refused now, before a display is needed.
    static const QStringList qtOptions = {QStringLiteral("platform"),
                                          QStringLiteral("platformpluginpath"),
                                          QStringLiteral("platformtheme"),
                                          QStringLiteral("plugin"),
                                          QStringLiteral("display"),
                                          QStringLiteral("style"),
                                          QStringLiteral("stylesheet"),
                                          QStringLiteral("geometry"),
                                          QStringLiteral("qwindowgeometry"),
                                          QStringLiteral("qwindowtitle"),
                                          QStringLiteral("qwindowicon"),
                                          QStringLiteral("reverse"),
                                          QStringLiteral("session"),
                                          QStringLiteral("name"),
                                          QStringLiteral("title"),
                                          QStringLiteral("widgetcount"),
                                          QStringLiteral("nograb"),
                                          QStringLiteral("dograb"),
                                          QStringLiteral("sync"),
                                          QStringLiteral("visual")};
    const QStringList unknown = options.parser.unknownOptionNames();
    const bool onlyQtOptions = std::all_of(unknown.begin(), unknown.end(), [](const QString& name) {
        return qtOptions.contains(name);
    });
    // With Qt's options among them, what is left is known only once Qt has taken its own.
    if (!onlyQtOptions || unknown.isEmpty()) {
        if (const CommandLine command = readCommandLine(arguments); command.exits)
            return command.exitCode;
    }
    return std::nullopt;
}

CommandLine readCommandLine(const QStringList& arguments)
{
    Parser options;
    CommandLine command;
    const bool parsed = options.parser.parse(arguments);
    QString wrong = parsed ? QString() : options.parser.errorText();
    if (wrong.isEmpty() && !options.parser.positionalArguments().isEmpty())
        wrong = QStringLiteral("Unexpected argument '%1'.")
                    .arg(options.parser.positionalArguments().constFirst());
    if (wrong.isEmpty() && options.parser.isSet(options.drive) &&
        options.parser.value(options.drive).isEmpty())
        wrong = QStringLiteral("--drive needs the path of a disk image or folder.");
    if (wrong.isEmpty() && options.parser.isSet(options.sets) &&
        options.parser.value(options.sets).isEmpty())
        wrong = QStringLiteral("--sets needs the path of a folder.");
    if (!wrong.isEmpty()) {
        print(stderr, QStringLiteral("bootvane: %1\nTry 'bootvane --help' for more.\n").arg(wrong));
        command.exits = true;
        command.exitCode = 2;
        return command;
    }
    command.drive = options.parser.value(options.drive);
    command.sets = options.parser.value(options.sets);
    return command;
}

} // namespace bootvane
