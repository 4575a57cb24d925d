// The screen in a real terminal: raw keyboard input through the key decoder,
// output through the renderer on the alternate screen, the kitty keyboard
// protocol when the terminal offers it, and the terminal given back exactly as
// it was at every kind of end: a normal return, exit(), SIGINT, SIGTERM,
// SIGHUP, SIGQUIT and the crash signals. One terminal back-end per process.
#pragma once

#include <memory>
#include <string>

#include "platform/os/status.h"
#include "platform/screen/backend.h"
#include "platform/screen/key_decoder.h"
#include "platform/screen/term_render.h"

namespace kvel::screen {

struct TermOptions {
  int in_fd = 0;
  int out_fd = 1;
  bool cp866_output = false;  // send CP866 bytes instead of UTF-8
  bool cp866_input = false;   // keyboard bytes are CP866, not UTF-8
  bool kitty = true;          // ask for the kitty keyboard protocol
  double esc_timeout = 0.05;  // seconds after which a lone Esc is the Esc key
  // Reads KVEL_CHARSET=cp866 (both directions) and KVEL_KITTY=0 from the environment.
  static TermOptions from_environment();
};

class TermBackend : public Backend {
 public:
  // Takes over the terminal. Fails when in_fd is not a terminal or another
  // terminal back-end is open.
  static os::Result<std::shared_ptr<TermBackend>> open(TermOptions options = {});
  ~TermBackend() override;  // gives the terminal back

  void present(const Cell* cells, const CursorState& cursor) override;
  void set_title(std::string_view cp866) override;
  InputEvent read_input(double timeout) override;
  double now() override;

  // Gives the terminal back now (idempotent); later output is dropped.
  void restore();
  bool kitty_active() const { return kitty_; }
  // Bytes sent to the terminal so far.
  size_t bytes_sent() const { return sent_; }

 private:
  explicit TermBackend(TermOptions options);
  bool start();
  void detect_kitty();
  void check_size();
  void write_out(const std::string& bytes);
  bool fill(double timeout);
  std::string size_message() const;

  TermOptions options_;
  TermRenderer renderer_;
  KeyDecoder decoder_;
  std::string input_;
  std::vector<Cell> cells_;
  CursorState cursor_;
  int term_rows_ = kRows, term_cols_ = kCols;
  bool too_small_ = false;
  bool kitty_ = false;
  bool open_ = false;
  int linux_mods_ = -1;  // Shift/Ctrl/Alt read from the Linux console; -1: not a console
  size_t sent_ = 0;
};

}  // namespace kvel::screen
