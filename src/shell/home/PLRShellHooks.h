#pragma once

// How the home screen and the post view reach the parts of the application around them: screen
// changes go to registered handlers (tests, other hosts) or else to the main window's root
// navigation; the post-file exporter registers its export and its menu item. A call with
// nowhere to go does nothing (logged).

#include <QString>

#include <functional>

class PLRPersistantPost;

class PLRShellHooks {
public:
    // Root navigation.
    struct Navigation {
        std::function<void(PLRPersistantPost* post)> presentPost;
        std::function<void()> presentNewPost;
        std::function<void(bool animate)> moveHome;
        // Called after a post was deleted, so the controller cached for it can be dropped.
        std::function<void(const QString& postIdentifier)> postWasDeleted;
    };
    static void setNavigation(Navigation navigation);
    static const Navigation& navigation();
    static void presentPost(PLRPersistantPost* post);
    static void presentNewPost();
    static void moveHome(bool animate);
    static void postWasDeleted(const QString& postIdentifier);

    // Post files: exporting one post, and the menu item "Export Post File...".
    struct PostExport {
        std::function<void(PLRPersistantPost* post)> exportPost;
        std::function<void(bool enabled)> setExportMenuEnabled;
        // Asks for a post file and imports it (the menu's "Import Post File...").
        std::function<void()> selectPathAndImportPost;
    };
    static void setPostExport(PostExport hooks);
    // Whether a post can be exported (an exporter is registered).
    static bool canExportPosts();
    static void exportPost(PLRPersistantPost* post);
    // Whether post files can be imported (an importer is registered).
    static bool canImportPosts();
    static void selectPathAndImportPost();
    static void enableImportExportPosts();
    static void disableImportExportPosts();

    // The post header of the title bar (shown while a post is open).
    static void setPostHeaderVisibleHandler(std::function<void(bool visible)> handler);
    static void setPostHeaderVisible(bool visible);

    // The export dialog of the open post (the post header's export button), registered by the
    // export screens.
    static void setExportDialogPresenter(std::function<void()> presenter);
    static void presentExportDialog();
};
