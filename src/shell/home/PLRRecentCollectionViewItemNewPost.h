#pragma once

#include "platform-ui/View.h"
#include "shell/home/PLRCollectionView.h"

inline constexpr const char* kPLRRecentCollectionViewItemNewPostIdentifier = "PLRRecentCollectionViewItemNewPost";

// The drawn "new post" tile: a picture, a dark bar and the new-post label; a click on it
// (released while the pointer is still over it) starts a new post.
class PLRRecentCollectionViewItemNewPostView : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRRecentCollectionViewItemNewPostView(QWidget* parent = nullptr);

    // One pair of flags shared by every new-post tile.
    static bool hovered();
    static bool pressed();
    static void resetSharedState();

    // Selected from the keyboard: drawn with the selected tiles' blue border.
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    // The focus ring goes round the tile while it is the keyboard's place in the grid.
    bool drawsFocusRing() const override { return true; }
    bool isShowingFocusRing() const override;
    void updateTrackingAreas() override;
    void mouseEntered(const platform::ui::MouseEvent& event) override;
    void mouseExited(const platform::ui::MouseEvent& event) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    void mouseCancelled() override;

private:
    bool m_selected = false;
};

// The collection item of the new-post tile; no behaviour of its own.
class PLRRecentCollectionViewItemNewPost : public PLRCollectionViewItem {
    Q_OBJECT
public:
    explicit PLRRecentCollectionViewItemNewPost(QObject* parent = nullptr);
    PLRRecentCollectionViewItemNewPostView* newPostView() const;
    void setSelected(bool selected) override;
};
