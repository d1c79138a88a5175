#pragma once

// Fails the running test when a modal box nobody answers stays open, instead of letting the
// suite wait for CTest's time-out. Every suite has one: ModalGuard.cpp installs it as soon as a
// widget application exists. It looks at the active modal widget every 100 ms; one that is still
// the same after the grace period, while no BoxCloser is waiting for it, is recorded with its
// text, closed, and reported as a failure of the test function that is running.

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

class ModalGuard : public QObject
{
public:
    static constexpr int kGraceMs = 2500;
    static constexpr int kPollMs = 100;

    struct Report
    {
        QString className;
        QString caption;
        QString text;
        QString describe() const;
    };

    // While one of these lives, the guard still closes boxes but hands its reports here instead
    // of failing the test (the guard's own test).
    class Recording
    {
    public:
        Recording();
        ~Recording();
        Recording(const Recording &) = delete;
        Recording &operator=(const Recording &) = delete;
        QList<Report> reports;
    };

    explicit ModalGuard(QObject *parent);
    ~ModalGuard() override;

    // The guard of this process; nullptr without a widget application.
    static ModalGuard *instance();

private:
    void poll();
    static Report describe(QWidget *w);
    static void dismiss(QWidget *w);

    QTimer m_timer;
    QPointer<QWidget> m_seen;
    QElapsedTimer m_since;
};
