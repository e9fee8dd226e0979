#pragma once

#include "platform/windows/settingslocation.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <type_traits>
#include <typeindex>

namespace platform {

class Forms;

// What every window of the program is: a widget with a load step and an unload step.
// A window class T derives from a QWidget class and from Form, and is constructed as T(Forms&).
class Form {
public:
    virtual ~Form() = default;
    virtual QWidget& widget() = 0;
    // Runs once when the window is loaded, before it is shown (also for a hidden load).
    virtual void Form_Load() {}
    // Runs once when the window is unloaded, for any reason.
    virtual void Form_Unload() {}
};

// The program's windows: one instance of each, addressed by its class, created and loaded on
// first touch, discarded when unloaded. The program ends when no window is loaded any more.
class Forms : public QObject {
    Q_OBJECT
public:
    explicit Forms(ProgramPlaces places, QObject* parent = nullptr);
    // A portable program in this folder; tests hand in a temporary one.
    explicit Forms(const QString& programFolder, QObject* parent = nullptr)
        : Forms(portablePlaces(programFolder), parent) {}
    ~Forms() override;

    // Where the settings file lives and the folder the windows fall back to.
    const ProgramPlaces& places() const { return places_; }

    // The loaded instance of T, loading it hidden first when it is not loaded.
    template <class T> T& get() {
        // The registry discards a window through its widget, so the window must be that widget.
        static_assert(std::is_base_of_v<QWidget, T> && std::is_base_of_v<Form, T>);
        if (auto* existing = find<T>())
            return *existing;
        auto created = std::make_unique<T>(*this);
        T& form = *created;
        insert(typeid(T), std::move(created));
        return form;
    }

    // The loaded instance of T, or nullptr; never loads.
    template <class T> T* find() const {
        auto* entry = lookup(typeid(T));
        return entry ? static_cast<T*>(entry) : nullptr;
    }
    template <class T> bool isLoaded() const { return find<T>() != nullptr; }

    // Unloads T: runs its unload step, hides it and discards it through the event loop.
    // Unloading a window that is not loaded, or is being unloaded, does nothing.
    template <class T> void unload() { unload(typeid(T)); }
    // Unloads this very instance; does nothing when it is no longer the loaded one (an instance
    // already unloaded and waiting to be discarded must not unload its successor).
    void unload(Form& form);

    // Shows T modeless (loading it first).
    template <class T> T& show() {
        T& form = get<T>();
        form.widget().show();
        return form;
    }

    // Shows T modally with no owner window and returns once it is hidden or unloaded.
    template <class T> void showModal() { runModal(get<T>()); }

    // The seam for modal windows: the handler gets the shown window and returns when the test
    // has dealt with it. An empty handler restores the real nested event loop.
    using ModalHandler = std::function<void(QWidget&)>;
    static void setModalHandler(ModalHandler handler);

    // What happens when the last window is unloaded (by default the application quits).
    void setLastWindowUnloaded(std::function<void()> callback) {
        lastUnloaded_ = std::move(callback);
    }

    int loadedCount() const { return static_cast<int>(loaded_.size()); }

private:
    struct Entry {
        std::unique_ptr<Form> form;
        bool unloading = false;
    };

    void insert(std::type_index type, std::unique_ptr<Form> form);
    Form* lookup(std::type_index type) const;
    void unload(std::type_index type);
    void runModal(Form& form);

    ProgramPlaces places_;
    std::map<std::type_index, Entry> loaded_;
    std::function<void()> lastUnloaded_;
};

} // namespace platform
