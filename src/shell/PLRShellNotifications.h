#pragma once

// Notifications of the application shell.

// Posted by the post view when it appears or goes ({"viewAppeared": bool}).
inline constexpr char kPLR_POST_VIEW_TOGGLED[] = "kPLR_POST_VIEW_TOGGLED";
inline constexpr char kPLRPostViewAppearedKey[] = "viewAppeared";
// Posted by root navigation when the sign-in view comes or goes (the menu follows it).
inline constexpr char kPLRAuthViewToggledNotification[] = "PLRAuthViewToggledNotification";
// Posted by root navigation when a new post replaces a shown post; home reloads its posts.
inline constexpr char kPLR_POSTS_WERE_UPDATED[] = "kPLR_POSTS_WERE_UPDATED";
// Posted by the title bar's automatic-layout button ({"autoLayoutNumImagesToAdd": count}).
inline constexpr char kPLR_NOTIFICATION_AUTO_BUILD_LAYOUT[] = "kPLR_NOTIFICATION_AUTO_BUILD_LAYOUT";
inline constexpr char kPLRAutoLayoutNumImagesToAddKey[] = "autoLayoutNumImagesToAdd";
// Posted by a popover when it closes.
inline constexpr char kPLRPopoverDidCloseNotification[] = "PLRPopoverDidCloseNotification";

// The count that stands for all images in the automatic layout.
inline constexpr qint64 kPLRAutoLayoutAllImages = 2147483647;

// Storyboards and scene identifiers of the shell.
inline constexpr char kPLRMainStoryboard[] = "Main";
inline constexpr char kPLRMigratorStoryboard[] = "Migrator";
inline constexpr char kPLRBaseSceneIdentifier[] = "base";
inline constexpr char kPLRSavingWindowSceneIdentifier[] = "SavingWindowController";
inline constexpr char kPLRInitialSceneIdentifier[] = "initial";
// The post window's side panes, in storyboard "Main": the panels register them, the post view
// looks them up.
inline constexpr char kPLRGallerySceneIdentifier[] = "PLRGalleryViewController";
inline constexpr char kPLRInspectorSceneIdentifier[] = "PLRInspectorViewController";
