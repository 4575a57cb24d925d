#include "platform/ui/ui_state.h"

namespace kvel::ui {

UiState& ui_state(eval::Runtime& rt) {
  if (!rt.find<UiState>()) rt.install(UiState::kSlot, std::make_unique<UiState>());
  return rt.get<UiState>();
}

}  // namespace kvel::ui
