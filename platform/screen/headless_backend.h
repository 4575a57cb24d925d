// The screen with no terminal: a virtual picture of what the program showed,
// input from a key script and a clock that the script advances. Tests and
// programs without a terminal (kvel-eval, kvel //headless) run on it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/eval/runtime.h"
#include "platform/screen/backend.h"
#include "platform/screen/key_script.h"

namespace kvel::screen {

struct HeadlessOptions {
  bool colour = true;      // is_colour()
  bool real_time = false;  // waits take real time (the clock is still the virtual one)
  // When not empty, every checkpoint is appended here as it is reached, and a
  // last one named "end" when the back-end goes away (format in doc/screen.md).
  std::filesystem::path dump_file;
};

// The screen as shown at one moment.
struct Snapshot {
  std::string name;
  std::vector<Cell> cells;  // kRows * kCols
  CursorState cursor;
  std::string title;  // CP866

  const Cell& at(int row, int col) const { return cells[row * kCols + col]; }
  std::string row_text(int row) const;  // UTF-8, kCols characters
  std::string text() const;             // every row, each ended by "\n"
  std::string attrs() const;            // every row as 2 hex digits per cell, "\n" after each
  // One row with its colours: "{W+/B}Меню  {N/W}Выход".
  std::string annotated_row(int row) const;
};

class HeadlessBackend : public Backend {
 public:
  explicit HeadlessBackend(KeyScript script = {}, HeadlessOptions options = {});
  ~HeadlessBackend() override;

  void present(const Cell* cells, const CursorState& cursor) override;
  void set_title(std::string_view cp866) override { title_ = cp866; }
  bool is_colour() const override { return options_.colour; }
  InputEvent read_input(double timeout) override;
  bool input_exhausted() const override;
  double now() override { return clock_; }

  // More input after what the script has (in-process tests).
  void append(const KeyScript& more);
  void advance(double seconds) { clock_ += seconds; }

  // The picture as last shown.
  Snapshot snapshot(std::string name = {}) const;
  const Cell& cell(int row, int col) const { return cells_[row * kCols + col]; }
  const CursorState& cursor() const { return cursor_; }
  const std::string& title() const { return title_; }
  std::string row_text(int row) const { return snapshot().row_text(row); }
  // Checkpoints reached so far.
  const std::vector<Snapshot>& checkpoints() const { return checkpoints_; }
  // How many times the picture was shown (buffered drawing shows it once).
  int presents() const { return presents_; }

 private:
  void record(const std::string& name);

  KeyScript script_;
  size_t next_ = 0;
  double ready_at_ = -1;  // end of the pause being waited out, -1: none
  int mods_ = 0;
  int blocked_polls_ = 0;
  HeadlessOptions options_;
  double clock_ = 0;
  std::vector<Cell> cells_;
  CursorState cursor_;
  std::string title_;
  std::vector<Snapshot> checkpoints_;
  int presents_ = 0;
};

// Installs a Screen and a Keyboard sharing `backend` into the runtime.
void install_console(eval::Runtime& rt, std::shared_ptr<Backend> backend);
// Installs a headless screen and keyboard and returns the back-end.
std::shared_ptr<HeadlessBackend> install_headless(eval::Runtime& rt, KeyScript script = {},
                                                  HeadlessOptions options = {});

}  // namespace kvel::screen
