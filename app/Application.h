#pragma once

#include <QApplication>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <type_traits>

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
    Q_INVOKABLE QList<QObject *> owned() const;
    void destroyOwned();

    // Creates an owned object of class T and stores it in ref. The first window created this
    // way becomes the main window, which Run() shows.
    template <class T>
    void CreateForm(T *&ref)
    {
        T *object = new T();
        ref = object;
        adopt(object);
        if constexpr (std::is_base_of_v<QWidget, T>) {
            if (m_mainForm.isNull())
                m_mainForm = object;
        }
    }
    Q_INVOKABLE QWidget *mainForm() const { return m_mainForm.data(); }

    // Shows the error box for an exception of the system's class. Needs no application object,
    // so code that may run without one (a create handler under a plain QApplication) can call it.
    static void ShowException(const Exception &e);
    // Shows the exception currently being handled; call only inside a catch block. Anything that
    // is not an Exception is shown as an error box with an empty text.
    static void HandleException();

    // Asks the event loop to end. Asked before the loop runs (the update check does so while the
    // launcher is being created), the loop ends as soon as it starts. Other windows are not
    // closed first: they are destroyed with the application.
    void Terminate();
    bool terminated() const { return m_terminated; }

    // Shows the main window and runs the event loop until the application is asked to end.
    void Run();

    // The entry point's part: runs createForms and then Run() under the last-resort handler. An
    // exception escaping them is shown in the error box and the steps not yet done are skipped.
    // Destroys everything the application owns at the end; always returns 0.
    int Execute(const std::function<void()> &createForms);

    // Every event handler runs inside this: an exception that escapes one is shown in the error
    // box and the program goes on.
    bool notify(QObject *receiver, QEvent *event) override;

private:
    void installChineseTranslations();

    QString m_title;
    QList<QPointer<QObject>> m_owned;
    QPointer<QWidget> m_mainForm;
    bool m_terminated = false;
    bool m_running = false;
};

// Runs f; an exception escaping it goes to the application's handler (for create handlers and
// other code that runs outside an event dispatch).
template <class F>
void guarded(F &&f)
{
    try {
        f();
    } catch (...) {
        Application::HandleException();
    }
}

// An event handler for connect(): an exception escaping it is shown in the error box where it
// happens, so it never unwinds through Qt's signal and event code.
template <class F>
auto guardedSlot(F f)
{
    return [f]() { guarded(f); };
}
