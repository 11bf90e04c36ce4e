#include "app/commandline.h"

#include <QStringList>

namespace {

// Qt's own options, which Qt takes with one dash or two; those of the first list are followed by a
// value (or written "-option=value").
bool QtOption(const QString &arg, bool *takesValue) {
    static const QStringList withValue{QStringLiteral("platform"),
                                       QStringLiteral("platformpluginpath"),
                                       QStringLiteral("platformtheme"),
                                       QStringLiteral("plugin"),
                                       QStringLiteral("qwindowgeometry"),
                                       QStringLiteral("qwindowicon"),
                                       QStringLiteral("qwindowtitle"),
                                       QStringLiteral("session"),
                                       QStringLiteral("style"),
                                       QStringLiteral("stylesheet"),
                                       QStringLiteral("display"),
                                       QStringLiteral("geometry"),
                                       QStringLiteral("title"),
                                       QStringLiteral("name"),
                                       QStringLiteral("visual"),
                                       QStringLiteral("ncols"),
                                       QStringLiteral("cmap"),
                                       QStringLiteral("fn"),
                                       QStringLiteral("font"),
                                       QStringLiteral("bg"),
                                       QStringLiteral("background"),
                                       QStringLiteral("fg"),
                                       QStringLiteral("foreground"),
                                       QStringLiteral("btn"),
                                       QStringLiteral("button"),
                                       QStringLiteral("im"),
                                       QStringLiteral("inputstyle"),
                                       QStringLiteral("qmljsdebugger"),
                                       QStringLiteral("graphicssystem")};
    static const QStringList flags{QStringLiteral("reverse"),       QStringLiteral("widgetcount"),
                                   QStringLiteral("nograb"),        QStringLiteral("dograb"),
                                   QStringLiteral("sync"),          QStringLiteral("testability"),
                                   QStringLiteral("nocrashhandler")};
    QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
    const int equals = name.indexOf(QLatin1Char('='));
    if (equals >= 0) {
        name.truncate(equals);
        *takesValue = false;
        return withValue.contains(name);
    }
    *takesValue = withValue.contains(name);
    return *takesValue || flags.contains(name);
}

} // namespace

CommandLine CommandLine::Parse(int argc, char *argv[]) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        bool takesValue = false;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h"))
            line.help = true;
        else if (arg == QLatin1String("--version"))
            line.version = true;
        else if (arg == QLatin1String("--user-folder"))
            line.userFolder = true;
        else if (arg.startsWith(QLatin1Char('-')) && QtOption(arg, &takesValue))
            i += takesValue ? 1 : 0; // Qt's, with its value
        else if (arg.startsWith(QLatin1String("--")) && line.error.isEmpty())
            line.error = QStringLiteral("неизвестный параметр %1").arg(arg);
    }
    return line;
}
QString CommandLine::HelpText() {
    return QStringLiteral(
        "zenta-oprch: клиент ЗЕНТА.ОПРЧ: участие энергоблоков станции в общем первичном\n"
        "регулировании частоты (ОПРЧ) по данным сервера SCADA.\n"
        "\n"
        "Использование: zenta-oprch [параметры]\n"
        "\n"
        "  --user-folder         работать в папке настроек пользователя ($XDG_CONFIG_HOME/zenta-oprch,\n"
        "                        обычно ~/.config/zenta-oprch): создаётся при первом запуске, звук\n"
        "                        тревоги копируется в неё из установленной программы; так программу\n"
        "                        запускает меню\n"
        "  --report ...          отчёт об эпизодах ОПРЧ за период без окна программы (CSV, PDF);\n"
        "                        его параметры и коды завершения: zenta-oprch --report --help\n"
        "  --version             версия программы\n"
        "  --help                этот текст\n"
        "\n"
        "Настройки (dedur.ini) и звук тревоги (Alarm.wav) программа берёт из рабочей папки.\n"
        "Параметры Qt (-platform, -style и другие) передаются Qt.\n");
}

QString CommandLine::VersionText() {
    return QStringLiteral("zenta-oprch " ZENTA_VERSION "\n");
}
