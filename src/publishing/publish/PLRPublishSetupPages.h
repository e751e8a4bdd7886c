#pragma once

// The pages through which a user connects their website (type, plug-in, access key,
// defaults), and the small pages around publishing (first post, Gutenberg, publish or export).
// Each page is a descriptor (its picture and credit; registered with PLRModalView by name) and
// a controller made from the "ModalWindow" scenes; the controllers answer the modal dialog and
// drive its spinner, error bar and covers. This unit names the pages and registers them.

#include <QStringList>

// Names of the dialog pages (descriptors) and of their controllers' scenes.
inline constexpr char kPLRModalPublishTypeView[] = "PLRModalPublishTypeView";
inline constexpr char kPLRModalPublishPluginTypeView[] = "PLRModalPublishPluginTypeView";
inline constexpr char kPLRModalPublishSecretView[] = "PLRModalPublishSecretView";
inline constexpr char kPLRModalPublishDefaultsView[] = "PLRModalPublishDefaultsView";
inline constexpr char kPLRFirstPostCompletedView[] = "PLRFirstPostCompletedView";
inline constexpr char kPLRModalGuttenburgView[] = "PLRModalGuttenburgView";
inline constexpr char kPLRModalPublishChoice[] = "PLRModalPublishChoice";

namespace PLRPublishSetupPages {
// Registers the descriptors with the dialog and the controllers with the "ModalWindow" scenes.
void install();
// The WordPress themes the type page offers, sorted.
const QStringList& wordPressThemes();
}
