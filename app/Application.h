#pragma once

#include <QApplication>
#include <QList>
#include <QPointer>

class Exception;

// The application object: title, owner of every window and of the data module, and the
// last-resort exception handler of the event loop.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);
    ~Application() override;

    static Application *instance();

    void setTitle(const QString &title);
    QString title() const;

    // Takes ownership of a window or module. Owned objects are destroyed newest first by
    // destroyOwned(); one destroyed earlier (a window freed on close) leaves the list.
    void adopt(QObject *object);
    QList<QObject *> owned() const;
    void destroyOwned();

    // Creates an owned object of class T and stores it in ref before returning.
    template <class T>
    void CreateForm(T *&ref)
    {
        T *object = new T();
        ref = object;
        adopt(object);
    }

    // Shows the error box for an exception of the system's class.
    void ShowException(const Exception &e);
    // Shows the exception currently being handled; call only inside a catch block. Anything that
    // is not an Exception is shown as an error box with an empty text.
    void HandleException();

    // Posts the end of the event loop: works also before the loop runs.
    void Terminate();
    bool terminated() const { return m_terminated; }

    // Runs the event loop; returns when the application is asked to end.
    void Run();

    // Every event handler runs inside this: an exception that escapes one is shown in the error
    // box and the program goes on.
    bool notify(QObject *receiver, QEvent *event) override;

private:
    QString m_title;
    QList<QPointer<QObject>> m_owned;
    bool m_terminated = false;
};

// Runs f; an exception escaping it goes to the application's handler (for create handlers and
// other code that runs outside an event dispatch).
template <class F>
void guarded(F &&f)
{
    try {
        f();
    } catch (...) {
        Application::instance()->HandleException();
    }
}
