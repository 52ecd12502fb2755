#include "app/startoptions.h"

#include "convert/converterlog.h"
#include "convert/gammatable.h"

#include <QCommandLineParser>
#include <QDir>
#include <QRegularExpression>

namespace {

const QString programName = QStringLiteral("zorv-video-converter");

// The options, as the parser knows them and help shows them.
void describeOptions(QCommandLineParser &parser)
{
    // -platform and its kind are long options, as Qt writes them.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Re-tints video files towards a colour temperature: each file is converted by ffmpeg\n"
        "with an eq gamma filter and written beside it as NAME_output.EXT. With no option the\n"
        "window opens and converts the files named; a program that runs already takes them."));
    parser.addOptions({
        { { QStringLiteral("h"), QStringLiteral("help") },
            QStringLiteral("Show this help and exit.") },
        { { QStringLiteral("v"), QStringLiteral("version") },
            QStringLiteral("Show the version and exit.") },
        { { QStringLiteral("t"), QStringLiteral("temperature") },
            QStringLiteral("Convert this start's files at K kelvin, 0 to %1, whatever the "
                           "slider says; the stored temperature stays.")
                .arg(highestTableTemperature),
            QStringLiteral("K") },
        { QStringLiteral("no-window"),
            QStringLiteral("Convert without a window or a display, and exit once every "
                           "conversion has ended: 0 when all converted, 1 when any failed, 2 for "
                           "a usage error, 130 or 143 when interrupted.") },
        { { QStringLiteral("T"), QStringLiteral("files-from") },
            QStringLiteral("Add the files named in FILE, one a line, after those named as "
                           "arguments; - reads standard input. May be given more than once."),
            QStringLiteral("FILE") },
        { QStringLiteral("null"),
            QStringLiteral("The names of --files-from end with NUL, not a line break "
                           "(find -print0).") },
    });
    parser.addPositionalArgument(QStringLiteral("files"),
        QStringLiteral("Video files to convert; -- before a name that starts with -."),
        QStringLiteral("[file...]"));

    // Qt's own options, which the application object takes; a start that names one is no error.
    for (const char *name : { "platform", "platformpluginpath", "platformtheme", "plugin",
             "qwindowgeometry", "geometry", "qwindowtitle", "title", "qwindowicon", "icon",
             "session", "style", "stylesheet", "qmljsdebugger", "display", "name", "visual" }) {
        QCommandLineOption option(QString::fromLatin1(name), {}, QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name :
        { "reverse", "testability", "widgetcount", "nograb", "dograb", "qdevel", "qdebug" }) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

StartOptions usageError(const QString &why)
{
    StartOptions options;
    options.action = StartOptions::UsageError;
    options.error = programName + QStringLiteral(": ") + why;
    return options;
}

// "-t3200" and "-Tlist.txt", the one-word form of a short option and its value, as two words:
// single-dash words are otherwise read as long options, which Qt's own options need.
QStringList shortOptionsSplit(const QStringList &arguments)
{
    QStringList split;
    bool options = true;
    for (const QString &argument : arguments) {
        options = options && argument != QLatin1String("--");
        const bool joined = options && argument.size() > 2 && argument.at(0) == QLatin1Char('-')
            && ((argument.at(1) == QLatin1Char('t') && !argument.at(2).isLetter())
                || argument.at(1) == QLatin1Char('T'));
        if (joined)
            split << argument.left(2) << argument.mid(2);
        else
            split << argument;
    }
    return split;
}

} // namespace

StartOptions parseStartOptions(const QStringList &arguments)
{
    const QStringList words = shortOptionsSplit(arguments);
    QCommandLineParser parser;
    describeOptions(parser);
    if (!parser.parse(words)) {
        QString why = parser.errorText();
        // Named as it was given, dashes and all.
        if (!parser.unknownOptionNames().isEmpty()) {
            const QString unknown = parser.unknownOptionNames().constFirst();
            for (const QString &argument : words.mid(1)) {
                if (argument == QLatin1String("--"))
                    break;
                const QString name = argument.section(QLatin1Char('='), 0, 0);
                if (name.startsWith(QLatin1Char('-'))
                    && name.mid(name.startsWith(QLatin1String("--")) ? 2 : 1) == unknown) {
                    why = QStringLiteral("Unknown option '%1'.").arg(name);
                    break;
                }
            }
        }
        return usageError(why + QStringLiteral(" See '%1 --help'.").arg(programName));
    }

    StartOptions options;
    if (parser.isSet(QStringLiteral("help"))) {
        options.action = StartOptions::ShowHelp;
        return options;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        options.action = StartOptions::ShowVersion;
        return options;
    }
    if (parser.isSet(QStringLiteral("temperature"))) {
        // Whole kelvin in digits: no sign, fraction or exponent.
        const QString text = parser.value(QStringLiteral("temperature"));
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
        if (!digits.match(text).hasMatch() || text.toInt() > highestTableTemperature) {
            return usageError(
                QStringLiteral("--temperature takes whole kelvin from %1 to %2, not '%3'")
                    .arg(lowestTableTemperature)
                    .arg(highestTableTemperature)
                    .arg(text));
        }
        options.temperature = text.toInt();
    }
    options.noWindow = parser.isSet(QStringLiteral("no-window"));
    options.filesFrom = parser.values(QStringLiteral("files-from"));
    options.nullSeparated = parser.isSet(QStringLiteral("null"));
    options.names = parser.positionalArguments();
    if (options.filesFrom.contains(QString()))
        return usageError(QStringLiteral("--files-from takes a file, or - for standard input"));
    if (options.nullSeparated && options.filesFrom.isEmpty())
        return usageError(QStringLiteral("--null goes with --files-from"));
    if (options.noWindow && options.names.isEmpty() && options.filesFrom.isEmpty())
        return usageError(QStringLiteral("--no-window needs files to convert"));
    return options;
}

QString versionText()
{
    return programName + QLatin1Char(' ') + QStringLiteral(ZORV_VERSION);
}

QString helpText()
{
    QCommandLineParser parser;
    describeOptions(parser);
    // The usage line names the program as every other line does, not by the path it was run from.
    QString text = parser.helpText();
    const int named = text.indexOf(QLatin1String(" [options]"));
    if (text.startsWith(QLatin1String("Usage: ")) && named > 0)
        text.replace(7, named - 7, programName);
    return text
        + QStringLiteral("\nExamples:\n"
                         "  %1 holiday.mp4 party.mkv\n"
                         "      Open the window and convert two files at the stored temperature.\n"
                         "  %1 --no-window -t 3200 holiday.mp4\n"
                         "      Convert one file at 3200 K, without a window.\n"
                         "  find Videos -name '*.mp4' -print0 | %1 --no-window --null "
                         "--files-from -\n"
                         "      Convert every MP4 file under Videos, without a window.\n"
                         "\nAt most two files convert at once. Each conversion's messages go "
                         "into a log of its\nown in %2; a failed one's log is kept.\n")
              .arg(programName, QDir::toNativeSeparators(conversionLogFolder()));
}
