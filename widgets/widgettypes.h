// The widget classes that no form or window creates but that the program
// keeps complete. Registering them makes each one creatable by its type name
// through Qt's meta-type system:
//
//   QMetaType::fromName("chStripMeter*").metaObject()
//       ->newInstance(Q_ARG(QWidget *, parent));
//
// Call once on the GUI thread after the application object exists.
#pragma once

void registerWidgetTypes();
