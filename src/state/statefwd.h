// Forward declaration of the field-list visitor, so that components can declare their
// `statefields` without the visitor's header.
#pragma once

namespace tov {
class tstatevisitor;  // statevisitor.h
}  // namespace tov
