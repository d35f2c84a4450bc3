#pragma once

#include <functional>

#include <QtGlobal>

class QWidget;

namespace tavuno::ui {

class ServiceBridge;

// Keeps a view in step with the service and the language: `render` runs at
// once, again after every flush of `bridge` that names one of `fields` (once
// per flush, however many of them changed), and again on each language
// change, since render also writes the view's texts. Call it last in the
// view's constructor, once everything render touches exists; it stops with
// the view.
void followService(QWidget& view, ServiceBridge& bridge, quint64 fields,
                   std::function<void()> render);

}  // namespace tavuno::ui
