// Who the program is, for its settings (both the panel and `lumo send` read
// the same ones); set once, in main().
#pragma once

#include <QCoreApplication>
#include <QString>

inline void SetApplicationIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("Lumo"));
    QCoreApplication::setOrganizationName(QStringLiteral("Lumo"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("lumopanel.net"));
}
