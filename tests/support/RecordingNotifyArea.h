#pragma once

// A notification area that records every request and can refuse adds or removals, as the
// desktop's does for an icon it already has or does not know.

#include "platform/NotifyArea.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSet>

struct NotifyCall
{
    quint32 op;
    quint32 size;
    winapi::HWND window;
    quintptr id;
    quint32 flags;
    quint32 callback;
    qint64 iconKey;
    QByteArray tip;
};

class RecordingNotifyArea : public NotifyArea
{
public:
    RecordingNotifyArea() { NotifyArea::setInstance(this); }
    ~RecordingNotifyArea() override { NotifyArea::setInstance(nullptr); }

    bool add(const winapi::NOTIFYICONDATA &d) override
    {
        record(winapi::NIM_ADD, d);
        if (refuseAdd || shown.contains(key(d)))
            return false;
        shown.insert(key(d));
        return true;
    }
    bool modify(const winapi::NOTIFYICONDATA &d) override
    {
        record(winapi::NIM_MODIFY, d);
        return shown.contains(key(d));
    }
    bool remove(const winapi::NOTIFYICONDATA &d) override
    {
        record(winapi::NIM_DELETE, d);
        if (refuseRemove)
            return false;
        return shown.remove(key(d));
    }

    bool hostPresent() const override { return trayHost; }

    QList<quint32> ops() const
    {
        QList<quint32> r;
        for (const auto &c : calls)
            r.append(c.op);
        return r;
    }

    QList<NotifyCall> calls;
    QSet<QPair<quintptr, quintptr>> shown;
    bool refuseAdd = false;
    bool trayHost = true;
    bool refuseRemove = false;

private:
    static QPair<quintptr, quintptr> key(const winapi::NOTIFYICONDATA &d)
    {
        return {reinterpret_cast<quintptr>(d.hWnd), d.uID};
    }
    void record(quint32 op, const winapi::NOTIFYICONDATA &d)
    {
        calls.append(
            {op, d.cbSize, d.hWnd, d.uID, d.uFlags, d.uCallbackMessage, d.hIcon.cacheKey(), QByteArray(d.szTip)});
    }
};
