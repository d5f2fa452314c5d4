// The controller's console output, one line per event: the shell assignments
// that point Lumo at the virtual ports, each byte received with what it
// commands, and the line settings the far side has set.
#pragma once

#include <QString>
#include <QTime>

#include <termios.h>

class ControllerLog
{
public:
    // "c  投影机开  projector on", or "0x7a  unknown byte" outside 'a'..'w'.
    static QString DescribeByte(unsigned char byte);
    // "9600 8N1": speed, data bits, parity (N E O M S), stop bits.
    static QString DescribeSettings(const termios& t);

    static QString ByteLine(const QTime& time, const QString& port, unsigned char byte);
    static QString SettingsLine(const QTime& time, const QString& port, const QString& settings);
    // LUMO_COM1=... LUMO_COM2=..., quoted for the shell's eval.
    static QString Assignments(const QString& com1Path, const QString& com2Path);
    static QString ShellQuote(const QString& word);

private:
    static QString Prefix(const QTime& time, const QString& port);
};
