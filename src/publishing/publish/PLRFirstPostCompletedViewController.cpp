#include "publishing/publish/PLRFirstPostCompletedViewController.h"

#include "controls/PLRHyperLinkView.h"
#include "publishing/publish/PLRPublishSetupPageSupport.h"
#include "shell/modal/PLRModalViewController.h"
#include "store/session/PLRDefaults.h"

#include <QVBoxLayout>

using namespace platform::ui;
using namespace PLRPublishSetupPageSupport;

PLRFirstPostCompletedViewController::PLRFirstPostCompletedViewController(QObject* parent) : PLRPublishSetupPage(parent) {}

View* PLRFirstPostCompletedViewController::loadView()
{
    View* root = makePage(QStringLiteral("Your first post is published"),
                          QStringLiteral("Congratulations! Your post is on your website."));
    auto* column = static_cast<QVBoxLayout*>(m_stackView->layout());
    auto* wordPress = paragraph(QStringLiteral("Find it among your WordPress posts; it goes live in the category you chose."),
                                m_stackView);
    m_wordPressHelp = wordPress;
    column->addWidget(wordPress);
    auto* squareSpace = paragraph(QStringLiteral("Paste the post's link into a code block of your website's page to show it."),
                                  m_stackView);
    m_squareSpaceHelp = squareSpace;
    column->addWidget(squareSpace);
    m_hyperLink = new PLRHyperLinkView(m_stackView);
    m_hyperLink->setStringValue(QStringLiteral("Need help? Read the guide."));
    m_hyperLink->setLinkTitle(QStringLiteral("Read the guide"));
    m_hyperLink->setMinimumHeight(20);
    column->addWidget(m_hyperLink);
    return root;
}

void PLRFirstPostCompletedViewController::viewWillBecomeActive(PLRModalViewController*)
{
    viewWillAppear();
}

void PLRFirstPostCompletedViewController::viewWillAppear()
{
    PLRPublishSetupPage::viewWillAppear();
    view();
    if (const PLRWebServicePublisherPtr publisher = remotePublisher()) {
        m_hideForWordPress = publisher->type() != 3;
        m_hideForSquareSpace = publisher->type() == 3;
    }
    m_wordPressHelp->setHidden(m_hideForWordPress);
    m_squareSpaceHelp->setHidden(m_hideForSquareSpace);
    m_hyperLink->setLinkURL(
        PLRDefaults::supportURLForPath(QStringLiteral("/en/articles/2779268-publish-your-blog-to-squarespace")).toString());
}

void PLRFirstPostCompletedViewController::primaryActionWasSelected(PLRModalViewController* modal)
{
    modal->dismissModalWithSuccess(true);
}
