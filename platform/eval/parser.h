// The parser: recursive descent with precedence climbing over the tokens of
// lexer.h, building the node tree of node.h. Nesting is bounded, so hostile
// or runaway texts give a syntax error instead of exhausting the stack.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/eval/node.h"

namespace kvel::eval {

inline constexpr size_t kMaxTextBytes = 64 * 1024;
inline constexpr int kMaxNesting = 128;    // parentheses, calls, blocks, unary operators
inline constexpr int kMaxTreeDepth = 400;  // node depth of the finished tree

// Never throws. A text that does not compile gives a Program whose error says why.
std::shared_ptr<Program> compile_text(Runtime& rt, std::string_view text);

}  // namespace kvel::eval
