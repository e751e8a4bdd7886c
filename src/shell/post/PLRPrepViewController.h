#pragma once

#include "store/model/PLRLayoutDocument.h"
#include "platform-ui/Color.h"
#include "platform-ui/Controls.h"
#include "platform-ui/PLRViewController.h"

#include <QCheckBox>
#include <QPointer>
#include <QUrl>

#include <functional>

// The new-post sheet: the post's name and the folder of photos it draws on. It lays itself over
// the post view, which receives the answer through the completion block (true: accepted).
class PLRPrepViewController : public PLRViewController {
    Q_OBJECT
public:
    explicit PLRPrepViewController(QObject* parent = nullptr);
    ~PLRPrepViewController() override;

    static void registerScene();

    void viewWillAppear() override;
    void viewDidAppear() override;

    // Actions.
    void setDirectoryAction();
    void doneAction();
    void cancelAction();
    void includeSubfolders();
    void ensureUI();

    QString documentTitle() const;
    QUrl directoryWatch() const { return m_directoryWatch; }
    void setDirectoryWatch(const QUrl& url) { m_directoryWatch = url; }
    qint64 documentPadding() const { return m_documentPadding; }
    void setDocumentPadding(qint64 padding) { m_documentPadding = padding; }
    // The background colour offered (0-255 components) and the same as a colour value.
    PLRColour documentColour() const { return m_documentColour; }
    void setDocumentColour(const PLRColour& colour);
    platform::ui::Color rawColor() const { return m_rawColor; }
    std::function<void(bool accepted)> completionBlock() const { return m_completionBlock; }
    void setCompletionBlock(std::function<void(bool accepted)> block) { m_completionBlock = std::move(block); }

    // Outlets.
    platform::ui::TextField* titleTextField() const { return m_titleTextField; }
    platform::ui::TextField* directoryLabel() const { return m_directoryLabel; }
    platform::ui::Box* folderPathSelectedBox() const { return m_folderPathSelectedBox; }
    platform::ui::Button* selectFolderButton() const { return m_selectFolderButton; }
    platform::ui::Button* changeFolderButton() const { return m_changeFolderButton; }
    QCheckBox* includeSubfoldersButton() const { return m_includeSubfoldersButton; }
    platform::ui::Button* doneButton() const { return m_doneButton; }
    platform::ui::Button* cancelButton() const { return m_cancelButton; }

protected:
    platform::ui::View* loadView() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<platform::ui::TextField> m_titleTextField;
    QPointer<platform::ui::TextField> m_directoryLabel;
    QPointer<platform::ui::Box> m_folderPathSelectedBox;
    QPointer<platform::ui::TextField> m_selectedPathLabel;
    QPointer<platform::ui::Button> m_selectFolderButton;
    QPointer<platform::ui::Button> m_changeFolderButton;
    QPointer<QCheckBox> m_includeSubfoldersButton;
    QPointer<platform::ui::Button> m_doneButton;
    QPointer<platform::ui::Button> m_cancelButton;
    QUrl m_directoryWatch;
    qint64 m_documentPadding = 10;
    PLRColour m_documentColour;
    platform::ui::Color m_rawColor = platform::ui::Color::white();
    std::function<void(bool)> m_completionBlock;
};
