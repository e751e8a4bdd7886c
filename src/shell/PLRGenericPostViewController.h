#pragma once

#include "store/session/PLRPostManager.h"
#include "platform-ui/PLRViewController.h"

#include <QPointer>

class PLRPostManager;

// The base of the controllers that show a part of one open post (canvas, gallery, inspector,
// publish and export panels). Subclasses that must react override setPostManager.
class PLRGenericPostViewController : public PLRViewController {
    Q_OBJECT
public:
    explicit PLRGenericPostViewController(QObject* parent = nullptr);
    PLRPostManager* postManager() const { return m_postManager; }
    virtual void setPostManager(PLRPostManager* manager) { m_postManager = manager; }
    // Passes the object on, then to setPostManager (a PLRPostManager*, or null for anything else).
    void setRepresentedObject(const QVariant& object) override;
private:
    QPointer<PLRPostManager> m_postManager;
};
