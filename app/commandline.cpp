#include "app/commandline.h"

CommandLine CommandLine::Parse(int argc, char *argv[]) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h"))
            line.help = true;
        else if (arg == QLatin1String("--version"))
            line.version = true;
        else if (arg == QLatin1String("--user-folder"))
            line.userFolder = true;
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
