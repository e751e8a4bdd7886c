#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

class QMimeData;

// The content of the title bar's add-block popover: one tile for each block kind that is not a
// photo (text, spacer, download button). A tile dragged onto the canvas carries a new block of
// its kind (the canvas places it where the drop indicator shows); a click on a tile asks for
// the block to be added at the end of the layout. The tiles take the keyboard too: the arrow
// keys and Tab move between them (the one that has the keyboard shows the focus ring), Return,
// Enter or Space adds its block; Escape closes the popover that holds them.
class PLRAddBlockView : public QWidget {
    Q_OBJECT
public:
    explicit PLRAddBlockView(QWidget* parent = nullptr);

    // The kinds offered, in the order of the tiles (plr::kBlockKind...).
    static QList<int> offeredKinds();
    static QString titleForKind(int kind);

    // A click on the tile of a kind.
    std::function<void(int kind)> onAdd;
    // A drag of a tile is about to start (the popover gets out of the way).
    std::function<void(int kind)> onDragWillStart;
    // Runs the drag of a tile (it gets the drag's data and owns it); a system drag when unset.
    std::function<void(QMimeData* mimeData)> dragRunner;

    // The tile of a kind (null for a kind not offered).
    QWidget* tileForKind(int kind) const;
    // Gives the keyboard to the first tile (the popover does when it opens).
    void focusFirstTile();
    // Moves the keyboard from a tile to the next or the previous one (round at the ends).
    void focusNeighbourOf(QWidget* tile, bool next);

    // What a press and release, or a press and a move of the pointer, on a tile does.
    void tileClicked(int kind);
    void tileDragged(int kind, QWidget* source);
};
