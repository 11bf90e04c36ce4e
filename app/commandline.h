// Options of zenta-oprch, read before the window is made so that --help and --version need no
// display. Qt's own options (-platform, --style, ...) are left to Qt, with one dash or two.
#pragma once

#include <QString>

class CommandLine {
public:
    static CommandLine Parse(int argc, char *argv[]);
    static QString HelpText();
    static QString VersionText();

    bool help = false;
    bool version = false;
    bool userFolder = false; // work in the user's configuration folder (the menu entry)
    QString error;           // an option we do not know, said in Russian
};
