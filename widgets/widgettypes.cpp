#include "widgets/widgettypes.h"

#include <QMetaType>

#include "widgets/chstripmeter.h"
#include "widgets/dialogoverwrite.h"
#include "widgets/glpatch.h"
#include "widgets/knobs.h"
#include "widgets/tracktext.h"

void registerWidgetTypes() {
    qRegisterMetaType<chStripMeter *>();
    qRegisterMetaType<WidgetMark *>();
    qRegisterMetaType<testGraphic *>();
    qRegisterMetaType<trackText *>();
    qRegisterMetaType<DialogOverWrite *>();
    qRegisterMetaType<knobGL *>();
}
