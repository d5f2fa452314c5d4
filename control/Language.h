// Which language the program's messages are in: the system's, where a
// translation of ours exists (Simplified Chinese), English otherwise. The
// Chinese texts of the dialogs and buttons are the same in every language.
#pragma once

class QCoreApplication;

class Language
{
public:
    // Installs the translations for the system's language into `app`.
    static void Install(QCoreApplication& app);
};
