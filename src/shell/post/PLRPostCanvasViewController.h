#pragma once

#include "shell/PLRGenericPostViewController.h"

#include <QPointer>

#include <memory>

class PLRLayoutViewController;

// The middle pane of a post: the interactive canvas (PLRLayoutViewController) in a post pane.
// It hands the canvas the post manager and passes on what the post view asks of a canvas, and
// takes the support chat into its bottom trailing corner each time it is shown.
class PLRPostCanvasViewController : public PLRGenericPostViewController {
    Q_OBJECT
public:
    explicit PLRPostCanvasViewController(QObject* parent = nullptr);
    ~PLRPostCanvasViewController() override;

    void setPostManager(PLRPostManager* manager) override;

    // Makes the canvas transparent before its entrance.
    Q_INVOKABLE void ensureEntrancePostion();
    // Zooms to fit at once, then fades the canvas in after 0.5 s.
    Q_INVOKABLE void performEntrance();
    // 0: zoom to fit (animated); otherwise percent / 100 of the layout's size.
    Q_INVOKABLE void setZoom(qint64 percent);

    PLRLayoutViewController* canvas() const { return m_canvas.get(); }

protected:
    platform::ui::View* loadView() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<PLRLayoutViewController> m_canvas;
};
