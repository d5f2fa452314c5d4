// A file a page is made of (its HTML, style, script or a picture), as a
// server answers it.
#pragma once

#include <QByteArray>

struct WebAsset {
    QByteArray body;
    QByteArray type; // empty: there is no such thing
    bool cacheable = false;
    bool immutable = false; // under a name that changes with its content
};
