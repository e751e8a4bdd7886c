#pragma once

// The right-hand panel of an open post: a header with the Document and Settings buttons over
// the pages (0 Document, 1 Settings, 3 the selected blocks' properties) and, below, the area of
// the publish and export panels. It hands the post to its pages and follows the layout
// manager's selection: selecting blocks shows their properties, clearing the selection returns
// to the Document page.

#include "layout/base/PLRLayoutManager.h"
#include "layout/base/PLRLayoutManagerInteractionProxy.h"
#include "panels/inspector/PLRDocumentViewController.h"
#include "panels/inspector/PLRPropertyViewController.h"
#include "shell/PLRGenericPostViewController.h"

#include <QPointer>

class PLRDocumentViewController;
class PLRInspectorExportPanel;
class PLRInspectorPublishPanel;
class PLRPropertyViewController;
class QStackedWidget;
namespace platform::ui { class Control; class View; }

class PLRInspectorViewController : public PLRGenericPostViewController, public PLRLayoutManagerInteractionProxy {
    Q_OBJECT
public:
    enum Page { DocumentPage = 0, SettingsPage = 1, SeoPage = 2, PropertyPage = 3 };

    explicit PLRInspectorViewController(QObject* parent = nullptr);
    ~PLRInspectorViewController() override;

    // Registers the inspector in the "Main" scenes, where the post's split view finds it.
    static void registerScene();

    void setPostManager(PLRPostManager* manager) override;

    // Header and page switching.
    void selectDocumentTab();
    void selectSettingsTab();
    void toggleBottomSectionVisible(bool visible);
    // The two areas of the bottom tab view and the tabs that switch between them.
    enum BottomArea { PublishArea = 0, ExportArea = 1 };
    void selectBottomArea(BottomArea area);
    BottomArea selectedBottomArea() const;
    bool areBottomTabsShown() const;
    platform::ui::Control* bottomTab(BottomArea area) const;
    void moveHeaderLabelToIndex(qint64 index);

    // Interaction proxy.
    Role interactionProxyRole() const override { return Role::Inspector; }
    void layoutManagerDidSelectBlocks(PLRLayoutManager* manager, const QList<PLRBlock*>& blocks) override;
    void layoutManagerDidSetEditBlock(PLRLayoutManager* manager, PLRBlock* block) override;

    PLRDocumentViewController* documentViewController() const { return m_documentViewController; }
    PLRPropertyViewController* propertyViewController() const { return m_propertyViewController; }
    PLRGenericPostViewController* publishViewController() const { return m_publishViewController; }
    PLRGenericPostViewController* exportViewController() const { return m_exportViewController; }
    bool blocksWereSelected() const { return m_blocksWereSelected; }

    // What is shown (for tests).
    Page selectedPage() const;
    bool isBottomAreaHidden() const;
    bool isDocumentButtonActive() const;
    bool isSettingsButtonActive() const;
    bool isDocumentUnderlineShown() const;
    bool isSettingsUnderlineShown() const;
    // Whether the header, pages and areas show: only while the inspector has a post, so that
    // they never show values that are not the post's.
    bool areContentsShown() const;
    platform::ui::Control* headerDocumentButton() const { return m_headerDocumentButton; }
    platform::ui::Control* headerSettingsButton() const { return m_headerSettingsButton; }

protected:
    platform::ui::View* loadView() override;
    void viewDidLoad() override;

private:
    void followSelection(const QList<PLRBlock*>& blocks);
    void toggleInspectorBottomPublishAreaVisibility(bool hidden);
    PLRGenericPostViewController* panelFromScenes(const char* identifier);
    void setBottomHidden(bool hidden);

    QPointer<PLRDocumentViewController> m_documentViewController;
    QPointer<PLRPropertyViewController> m_propertyViewController;
    QPointer<PLRGenericPostViewController> m_publishViewController;
    QPointer<PLRGenericPostViewController> m_exportViewController;
    PLRInspectorPublishPanel* m_publishPanel = nullptr;
    QPointer<PLRLayoutManager> m_joinedManager;
    bool m_blocksWereSelected = false;
    bool m_bottomHidden = false;

    QPointer<QWidget> m_contents;
    QStackedWidget* m_tabView = nullptr;
    QPointer<QWidget> m_bottomTabView;
    QPointer<QStackedWidget> m_bottomPages;
    QPointer<QWidget> m_bottomTabs;
    QPointer<platform::ui::Control> m_bottomTabButtons[2];
    QPointer<QWidget> m_bottomTabUnderlines[2];
    QPointer<platform::ui::Control> m_headerDocumentButton;
    QPointer<platform::ui::Control> m_headerSettingsButton;
    QPointer<QWidget> m_blogSettingsUnderline;
    QPointer<QWidget> m_settingsUnderline;
};
