#include "platform/windows/forms.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>

namespace platform {

namespace {

// A window of the program as assistive technology meets it. Qt calls a tool window a plain client
// area; the program's tool windows are its dialog boxes, and are announced as such.
class AccessibleForm : public QAccessibleWidget {
public:
    explicit AccessibleForm(QWidget* window) : QAccessibleWidget(window) {}

    QAccessible::Role role() const override {
        switch (widget()->windowType()) {
        case Qt::Window:
            return QAccessible::Window;
        case Qt::Dialog:
        case Qt::Tool:
            return QAccessible::Dialog;
        default:
            return QAccessibleWidget::role();
        }
    }
};

QAccessibleInterface* describeForm(const QString&, QObject* object) {
    auto* const form = dynamic_cast<Form*>(object);
    return form && &form->widget() == object ? new AccessibleForm(&form->widget()) : nullptr;
}

Forms::ModalHandler& modalHandler() {
    static Forms::ModalHandler instance;
    return instance;
}

// Ends a nested event loop when the watched window is hidden or destroyed.
class HideWatcher : public QObject {
public:
    HideWatcher(QWidget& window, QEventLoop& loop) : loop_(loop) {
        window.installEventFilter(this);
        connect(&window, &QObject::destroyed, &loop, &QEventLoop::quit);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide)
            loop_.quit();
        return QObject::eventFilter(watched, event);
    }

private:
    QEventLoop& loop_;
};

} // namespace

Forms::Forms(ProgramPlaces places, QObject* parent)
    : QObject(parent), places_(std::move(places)), lastUnloaded_([] { QCoreApplication::quit(); }) {
    // Qt's accessibility cache owns what the factory makes.
    static const bool described = (QAccessible::installFactory(describeForm), true);
    (void)described;
}

Forms::~Forms() {
    // Windows still loaded when the registry goes are discarded without their unload steps.
    loaded_.clear();
}

void Forms::insert(std::type_index type, std::unique_ptr<Form> form) {
    Form& inserted = *form;
    loaded_[type] = Entry{std::move(form), false};
    inserted.Form_Load();
}

Form* Forms::lookup(std::type_index type) const {
    const auto it = loaded_.find(type);
    return it == loaded_.end() ? nullptr : it->second.form.get();
}

void Forms::unload(Form& form) {
    const std::type_index type(typeid(form));
    if (lookup(type) == &form)
        unload(type);
}

void Forms::unload(std::type_index type) {
    auto it = loaded_.find(type);
    if (it == loaded_.end() || it->second.unloading)
        return;
    it->second.unloading = true;
    it->second.form->Form_Unload();

    // The unload step may have unloaded other windows; look the entry up again.
    it = loaded_.find(type);
    std::unique_ptr<Form> form = std::move(it->second.form);
    loaded_.erase(it);

    // The widget may be running a handler or a modal loop right now: hide it at once and let
    // the event loop destroy it.
    QWidget& widget = form->widget();
    widget.hide();
    widget.deleteLater();
    (void)form.release(); // owned by deleteLater from here on

    if (loaded_.empty() && lastUnloaded_)
        lastUnloaded_();
}

void Forms::setModalHandler(ModalHandler handler) {
    modalHandler() = std::move(handler);
}

void Forms::runModal(Form& form) {
    QPointer<QWidget> widget(&form.widget());
    widget->setWindowModality(Qt::ApplicationModal);
    widget->show();
    if (modalHandler()) {
        modalHandler()(*widget);
        return;
    }
    QEventLoop loop;
    HideWatcher watcher(*widget, loop);
    if (widget && widget->isVisible())
        loop.exec();
}

} // namespace platform
