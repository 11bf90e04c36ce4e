// The user's own folder for settings and the alarm sound, used when the program starts from the
// menu: the program reads dedur.ini and Alarm.wav from its working folder, and a menu entry has no
// meaningful one.
#pragma once

#include <QString>

class UserFolder {
public:
    // $XDG_CONFIG_HOME/zenta-oprch (by default ~/.config/zenta-oprch).
    static QString Path();
    // The alarm sound installed with the program, found beside the program so that an install
    // under any prefix works; empty when there is none.
    static QString InstalledAlarm();
    // Makes the folder when missing, copies the installed alarm sound in when it has none, and
    // makes it the working folder. False with a reason in Russian when the folder cannot be used.
    static bool Enter(QString *error);
};
