#pragma once

#include "store/model/PLRLayoutDocument.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>

class PLRBlockView;
class PLRLayoutManager;
class PLRLayoutView;
class PLRSectionView;

// Binds a layout manager and a layout to one rendered layout view: the editor's live canvas,
// or an off-screen view built for an export, the post preview or a drag image. The proxy
// registers itself with the manager when it is made and leaves when it is destroyed; the
// manager then keeps its views in step with every edit of the manager's own layout, and tells
// it of selection, hover and edit changes (the signals below).
//
// The proxy owns its layout view until the view is given a parent widget (a scroll view);
// from then on that parent owns it.
class PLRLayoutViewProxy : public QObject {
    Q_OBJECT
public:
    // Keeps the manager and the layout (not owned: it must outlive the proxy), registers with
    // the manager, makes the layout view, marks itself live and sets the width.
    PLRLayoutViewProxy(PLRLayoutManager* manager, PLRLayout* layout, double width, QObject* parent = nullptr);
    // The same for a layout the proxy owns (an edited copy, for a collage or a preview).
    PLRLayoutViewProxy(PLRLayoutManager* manager, std::unique_ptr<PLRLayout> layout, double width, QObject* parent = nullptr);
    ~PLRLayoutViewProxy() override;

    PLRLayoutManager* layoutManager() const;
    PLRLayout* layout() const { return m_layout; }
    PLRLayoutView* layoutView() const;

    bool isLive() const { return m_live; }
    void setLive(bool live) { m_live = live; }

    // The layout's width in points; the view lays its sections out at that width.
    double width() const { return m_width; }
    void setWidth(double width);

    // The block view showing the block (through the view of the block's section); null when
    // there is none. Lays the views out first when they are out of date.
    PLRBlockView* blockViewForBlock(const PLRBlock* block) const;
    // The block view of the manager's edit block, or null.
    PLRBlockView* currentEditBlockView() const;

    // --- Called by the layout manager after it changed its layout ----------------------------
    void blockWasInserted(PLRSection* section, PLRBlock* block, PLRBlock* parent, int index);
    void blockWasRemoved(PLRSection* section, const PLRBlock* block);
    void blockWasReplaced(PLRSection* section, const PLRBlock* oldBlock, PLRBlock* newBlock);
    void sectionWasReloaded(PLRSection* section);
    void layoutWasReloaded();
    // Anything may have changed in place: lay out and draw again.
    void layoutDidChange();
    // A photo changed: blocks showing it are drawn again (and laid out, its ratio may be new).
    void imageDidChange(const QString& identifier);
    // Editing state.
    void managerDidSelectBlocks(const QList<PLRBlock*>& blocks) { emit selectionChanged(blocks); }
    void managerDidSetEditBlock(PLRBlock* block) { emit editBlockChanged(block); }
    void managerDidHoverBlock(PLRBlock* block);
    void managerDidSelectSection(PLRSection* section) { emit sectionSelected(section); }
    void managerEditBlockDidChangeStructure() { emit editBlockStructureChanged(); }

signals:
    void selectionChanged(const QList<PLRBlock*>& blocks);
    void editBlockChanged(PLRBlock* block);
    void hoverBlockChanged(PLRBlock* block);
    void sectionSelected(PLRSection* section);
    void editBlockStructureChanged();
    void widthChanged(double width);
    // The layout changed in place or a photo changed: whoever shows the view draws it again
    // (the live canvas paints the layout view's drawing itself).
    void layoutChanged();
    void imageChanged(const QString& identifier);

private:
    void setUp(PLRLayoutManager* manager, double width);
    PLRSectionView* sectionViewFor(PLRSection* section) const;

    QPointer<PLRLayoutManager> m_manager;
    PLRLayout* m_layout = nullptr;
    std::unique_ptr<PLRLayout> m_ownLayout;
    QPointer<PLRLayoutView> m_layoutView;
    bool m_live = true;
    double m_width = 0.0;
    PLRBlock* m_lastHoverBlock = nullptr;
};
