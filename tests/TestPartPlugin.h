// A part for tst_partloader, offering the interface ID TEST_PART_IID.
#pragma once

#include "TestPartInterface.h"

#include <QObject>

class TestPartPlugin : public QObject, public TestPartInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TEST_PART_IID)
    Q_INTERFACES(TestPartInterface)

public:
    int Answer() const override { return 42; }
};
