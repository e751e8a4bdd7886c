#pragma once

#include "platform-ui/FocusRingFrame.h"
#include "platform-ui/View.h"
#include "shell/home/PLRCollectionViewLayout.h"

#include <QHash>
#include <QMap>
#include <QPointer>
#include <QScrollArea>

#include <functional>
#include <memory>
#include <vector>

class PLRCollectionView;

// One element shown by a collection view: a controller with its view. Items are made through
// the factory registered for their identifier and reused for other indexes as the collection
// scrolls.
class PLRCollectionViewItem : public QObject {
    Q_OBJECT
public:
    explicit PLRCollectionViewItem(QObject* parent = nullptr);
    ~PLRCollectionViewItem() override;

    // The item's view (owned by the item until the collection places it, then by the collection).
    platform::ui::View* view() const { return m_view; }
    void setView(platform::ui::View* view);
    QString identifier() const { return m_identifier; }
    PLRCollectionView* collectionView() const { return m_collectionView; }
    // The index the item shows (-1 while pooled).
    qint64 index() const { return m_index; }

    bool isSelected() const { return m_selected; }
    virtual void setSelected(bool selected) { m_selected = selected; }
    // Called before the item is handed out for another index.
    virtual void prepareForReuse() {}

private:
    friend class PLRCollectionView;
    QPointer<platform::ui::View> m_view;
    QString m_identifier;
    QPointer<PLRCollectionView> m_collectionView;
    qint64 m_index = -1;
    bool m_selected = false;
};

class PLRCollectionViewDataSource {
public:
    virtual ~PLRCollectionViewDataSource() = default;
    virtual qint64 numberOfSectionsInCollectionView(PLRCollectionView*) { return 1; }
    virtual qint64 numberOfItems(PLRCollectionView* collectionView, qint64 section) = 0;
    // The item for the index, from collectionView->makeItem(identifier, index).
    virtual PLRCollectionViewItem* itemForRepresentedObjectAtIndex(PLRCollectionView* collectionView, qint64 index) = 0;
};

class PLRCollectionViewDelegate {
public:
    virtual ~PLRCollectionViewDelegate() = default;
    virtual void didSelectItemsAtIndexes(PLRCollectionView*, const QList<qint64>&) {}
    virtual void didDeselectItemsAtIndexes(PLRCollectionView*, const QList<qint64>&) {}
    // Return or Enter on the selected item (what a click on it does).
    virtual void activateItemAtIndex(PLRCollectionView*, qint64) {}
    // The Menu key or Shift+F10 on the selected item: its menu, when it has one.
    virtual void showMenuForItemAtIndex(PLRCollectionView*, qint64) {}
};

// A scrolling collection of one section whose items are placed by a flow layout. Only the items
// near the visible part are made (and reused), so large collections cost what a screenful costs.
class PLRCollectionView : public QScrollArea {
    Q_OBJECT
public:
    using ItemFactory = std::function<PLRCollectionViewItem*()>;

    explicit PLRCollectionView(QWidget* parent = nullptr);
    ~PLRCollectionView() override;

    PLRCollectionViewFlowLayout* collectionViewLayout() const { return m_layout.get(); }
    void setCollectionViewLayout(std::unique_ptr<PLRCollectionViewFlowLayout> layout);
    void setDataSource(PLRCollectionViewDataSource* dataSource) { m_dataSource = dataSource; }
    void setDelegate(PLRCollectionViewDelegate* delegate) { m_delegate = delegate; }

    void registerItemFactory(const QString& identifier, ItemFactory factory);
    // A pooled item of the identifier, or a new one from its factory; null without a factory.
    PLRCollectionViewItem* makeItem(const QString& identifier, qint64 index);

    // Asks the data source again for the count and the items shown, and lays them out.
    void reloadData();
    // Lays the items out again (after the layout's item size changed).
    void invalidateLayout();
    qint64 numberOfItems() const { return m_count; }

    // The item shown for the index, or null when it is not near the visible part.
    PLRCollectionViewItem* itemAtIndex(qint64 index) const;
    QList<PLRCollectionViewItem*> visibleItems() const;
    QRectF frameForItemAtIndex(qint64 index) const;
    void scrollToItem(qint64 index);

    // Selection (single). Selecting tells the delegate; so does deselecting.
    void selectItem(qint64 index);
    void deselectAll();
    QList<qint64> selectionIndexes() const;
    // Keys: the arrows move the selection (Up and Down by a row; the first arrow selects the
    // first item), Return and Enter activate the selected item.
    void moveSelection(int key);

    // Whether the view is the selected item's while the collection has the keyboard: that item
    // shows the focus ring (the keyboard's place). With nothing selected in view, the collection
    // shows the ring along its own edges.
    bool isKeyboardPlace(const QWidget* itemView) const;
    // The collection an item's view lies in, or null.
    static PLRCollectionView* enclosing(const QWidget* view);
    bool isShowingEdgeFocusRing() const;

    platform::ui::View* documentView() const { return m_document; }
    // The visible part of the document (document coordinates, y down).
    QRectF visibleRect() const;

signals:
    // The collection's frame changed (its size).
    void frameChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Reached by Tab or Shift+Tab with nothing selected: the first item is selected, so the
    // keyboard's place in the grid shows and the arrows go on from there.
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    qint64 itemsPerRow() const;
    void prepareLayout();
    void tile();
    void recycle(qint64 index);
    void pool(PLRCollectionViewItem* item);   // hidden and kept for reuse
    // Puts the focus ring where the keyboard's place is (after focus, selection or scrolling).
    void refreshFocusRing();

    std::unique_ptr<PLRCollectionViewFlowLayout> m_layout;
    PLRCollectionViewDataSource* m_dataSource = nullptr;
    PLRCollectionViewDelegate* m_delegate = nullptr;
    platform::ui::View* m_document = nullptr;
    QHash<QString, ItemFactory> m_factories;
    QHash<QString, std::vector<PLRCollectionViewItem*>> m_pool;
    QMap<qint64, PLRCollectionViewItem*> m_visible;
    // While data reloads: the items that were on screen, by index, handed back in place.
    QMap<qint64, PLRCollectionViewItem*> m_reloading;
    QList<PLRCollectionViewLayoutAttributes> m_attributes;   // of every item, by index
    qint64 m_count = 0;
    qint64 m_selected = -1;
    bool m_tiling = false;
    platform::ui::FocusRingFrame* m_edgeFocusRing = nullptr;
};
