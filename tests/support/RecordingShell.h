#pragma once

// A shell that records what it is asked to open instead of opening it.

#include "platform/Shell.h"

#include <QList>

class RecordingShell : public Shell
{
public:
    struct Call
    {
        QWidget *owner;
        QString verb;
        QString file;
        int show;
    };
    void execute(QWidget *owner, const QString &verb, const QString &file, int showCommand) override
    {
        calls.append({owner, verb, file, showCommand});
    }
    QList<Call> calls;
};
