// The interface of the parts tst_partloader loads: one plugin source built
// as liblumo-testpart.so (this version), liblumo-testold.so (an older one)
// and liblumo-testother.so (another interface altogether).
#pragma once

#include <QtPlugin>

class TestPartInterface
{
public:
    virtual ~TestPartInterface() = default;
    virtual int Answer() const = 0;
};

#define TestPartInterface_iid "net.lumopanel.Lumo.TestPart/1.0"
Q_DECLARE_INTERFACE(TestPartInterface, TestPartInterface_iid)
