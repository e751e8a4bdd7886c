#pragma once

#include <QPointer>
#include <QScrollArea>

// The scroll view around the gallery. It takes no photos from outside the application: files
// and addresses dropped on it are refused, with an alert that explains where photos come from.
class PLRDraggingDestinationScrollView : public QScrollArea {
    Q_OBJECT
public:
    explicit PLRDraggingDestinationScrollView(QWidget* parent = nullptr);

    QObject* galleryViewController() const { return m_galleryViewController; }
    void setGalleryViewController(QObject* controller) { m_galleryViewController = controller; }

    // The opacity of the content while something is dragged over it.
    double contentAlpha() const;
    static void showRefusalAlert(QWidget* parent);

protected:
    bool focusNextPrevChild(bool next) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setContentAlpha(double alpha);
    QPointer<QObject> m_galleryViewController;
};
