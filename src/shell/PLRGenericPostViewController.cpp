#include "shell/PLRGenericPostViewController.h"

#include "store/session/PLRPostManager.h"

PLRGenericPostViewController::PLRGenericPostViewController(QObject* parent) : PLRViewController(parent) {}

void PLRGenericPostViewController::setRepresentedObject(const QVariant& object)
{
    PLRViewController::setRepresentedObject(object);
    setPostManager(qobject_cast<PLRPostManager*>(object.value<QObject*>()));
}
