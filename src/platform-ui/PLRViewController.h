#pragma once

#include "platform-ui/View.h"

#include <QObject>
#include <QPointer>
#include <QVariant>

// A controller of one view: makes the view on first request, then lets the subclass set it up.
// The controller owns its view: the view goes with the controller, wherever it was placed.
class PLRViewController : public QObject {
    Q_OBJECT
public:
    explicit PLRViewController(QObject* parent = nullptr);
    ~PLRViewController() override;

    // The view, loaded (loadView, then viewDidLoad) on first request.
    platform::ui::View* view();
    bool isViewLoaded() const { return bool(m_view); }
    // Whether `object` is this controller's view. Compares the objects only: an event filter
    // may see its view while the view is being destroyed, when it is no longer a View.
    bool isView(const QObject* object) const { return object && object == m_viewObject.data(); }

    QVariant representedObject() const { return m_representedObject; }
    virtual void setRepresentedObject(const QVariant& object) { m_representedObject = object; }

    // Appearance, called by whoever puts the view on screen or takes it away.
    virtual void viewWillAppear() {}
    virtual void viewDidAppear() {}
    virtual void viewWillDisappear() {}
    virtual void viewDidDisappear() {}

    // Takes the view out of its superview (it stays the controller's).
    static void removeFromSuperview(QWidget* view);

protected:
    // Makes the view; the default is a plain view.
    virtual platform::ui::View* loadView();
    virtual void viewDidLoad() {}

private:
    QPointer<platform::ui::View> m_view;
    QPointer<QObject> m_viewObject;
    QVariant m_representedObject;
    bool m_loading = false;
};
