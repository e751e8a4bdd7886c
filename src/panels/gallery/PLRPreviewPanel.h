#pragma once

// A preview window of our own for photos: one shared panel that shows the photos a controller
// hands it, largest first from the file (decoded off the main thread), the cached thumbnail
// while that loads. The controlling object answers the panel's questions (how many photos,
// which one) and may take its key presses (the gallery moves its selection with the arrows).

#include "store/persistance-store/source/PLRSourceImage.h"
#include "platform-ui/View.h"
#include "platform-ui/Window.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

class PLRPreviewPanel;
class QKeyEvent;

class PLRPreviewPanelDataSource {
public:
    virtual ~PLRPreviewPanelDataSource() = default;
    virtual qint64 numberOfPreviewItemsInPreviewPanel(PLRPreviewPanel* panel) = 0;
    virtual PLRSourceImagePtr previewPanelPreviewItemAtIndex(PLRPreviewPanel* panel, qint64 index) = 0;
};

class PLRPreviewPanelDelegate {
public:
    virtual ~PLRPreviewPanelDelegate() = default;
    // True when the delegate took the key press.
    virtual bool previewPanelHandleEvent(PLRPreviewPanel*, QKeyEvent*) { return false; }
};

// What can take control of the panel.
class PLRPreviewPanelController {
public:
    virtual ~PLRPreviewPanelController() = default;
    virtual bool acceptsPreviewPanelControl(PLRPreviewPanel*) { return false; }
    virtual void beginPreviewPanelControl(PLRPreviewPanel*) {}
    virtual void endPreviewPanelControl(PLRPreviewPanel*) {}
};

// Draws the current photo fitted into its bounds, with its name underneath.
class PLRPreviewContentView : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRPreviewContentView(QWidget* parent = nullptr);
    bool isFlipped() const override { return true; }
    void setPicture(const QImage& picture, const QString& title, const QString& message);
    const QImage& picture() const { return m_picture; }
    QString title() const { return m_title; }
    QString message() const { return m_message; }
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
private:
    QImage m_picture;
    QString m_title;
    QString m_message;
};

// A window of our own (title bar, close button), placed over the main window each time it comes
// up; Space and Escape close it too.
class PLRPreviewPanel : public platform::ui::Window {
    Q_OBJECT
public:
    // The largest side a photo is decoded at for the panel.
    static constexpr int kMaximumDecodeEdge = 2048;

    static PLRPreviewPanel* sharedPreviewPanel();
    static bool sharedPreviewPanelExists();

    // Shows the panel under the controller's control, or hides it when it is shown.
    void togglePreviewPanel(PLRPreviewPanelController* controller);
    // Takes control for the controller (when it accepts) and shows the panel.
    using platform::ui::Window::makeKeyAndOrderFront;
    void makeKeyAndOrderFront(PLRPreviewPanelController* controller);
    // Hides the panel and ends the controller's control.
    void orderOut() override;
    // A panel beside the main window, never the main window itself.
    bool canBecomeMainWindow() const override { return false; }
    bool isShown() const { return isVisible(); }

    PLRPreviewPanelController* currentController() const { return m_controller; }
    void setDataSource(PLRPreviewPanelDataSource* dataSource) { m_dataSource = dataSource; }
    PLRPreviewPanelDataSource* dataSource() const { return m_dataSource; }
    void setPreviewDelegate(PLRPreviewPanelDelegate* delegate) { m_delegate = delegate; }
    PLRPreviewPanelDelegate* previewDelegate() const { return m_delegate; }

    // Asks the data source again and shows the current photo.
    void reloadData();
    qint64 currentPreviewItemIndex() const { return m_index; }
    void setCurrentPreviewItemIndex(qint64 index);
    PLRSourceImagePtr currentPreviewItem() const { return m_current; }
    PLRPreviewContentView* contentView() const { return m_content; }
    // True while the photo's full picture is still being read.
    bool isLoading() const { return m_loading; }

    // A controller going away leaves the panel (it is told nothing more).
    void controllerWillGo(PLRPreviewPanelController* controller);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    explicit PLRPreviewPanel(QWidget* parent = nullptr);
    void showCurrent();
    void endControl();

    PLRPreviewPanelController* m_controller = nullptr;
    PLRPreviewPanelDataSource* m_dataSource = nullptr;
    PLRPreviewPanelDelegate* m_delegate = nullptr;
    PLRPreviewContentView* m_content = nullptr;
    PLRSourceImagePtr m_current;
    qint64 m_index = 0;
    quint64 m_generation = 0;
    bool m_loading = false;
};
