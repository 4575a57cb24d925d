// Tokens of the expression language. The lexer works on bytes (code page 866)
// and decides between "[" as an index and "[" as a text delimiter by the token
// before it. A name glued to macro parts ("x&n.y") is one token whose text is
// assembled at run time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvel::eval {

enum class Tok : uint8_t {
  End,
  Number,
  String,
  Ident,
  Macro,       // &name or a name with macro parts; see Token::parts
  MacroParen,  // "&(": the expression in the parentheses gives the text
  True,
  False,
  LParen,
  RParen,
  LBracket,
  RBracket,
  LBrace,
  RBrace,
  Comma,
  Pipe,
  At,
  Colon,
  Arrow,   // ->
  Assign,  // :=
  PlusAssign,
  MinusAssign,
  MulAssign,
  DivAssign,
  ModAssign,
  PowAssign,
  Plus,
  Minus,
  Star,
  Slash,
  Percent,
  Power,  // ** or ^
  Inc,
  Dec,
  Eq,    // =
  EqEq,  // ==
  Ne,    // != <> #
  Lt,
  Le,
  Gt,
  Ge,
  Dollar,
  Not,  // ! .NOT.
  And,
  Or,
  Bad,  // a byte that starts no token, or an unclosed text
};

// One piece of a macro name: literal text, or a variable whose value is
// substituted ("&name" with an optional terminating ".").
struct MacroPart {
  bool is_var = false;
  std::string text;
};

struct Token {
  Tok kind = Tok::End;
  size_t pos = 0;    // byte offset in the source
  std::string text;  // identifier (as written), text contents
  double number = 0;
  int64_t integer = 0;
  bool is_integer = false;
  int decimals = 0;
  int digits = 0;                // integer digits of a number literal
  std::vector<MacroPart> parts;  // Tok::Macro
};

// Splits the whole text into tokens, ending with Tok::End (or Tok::Bad at
// the first byte that cannot start a token).
std::vector<Token> tokenize(std::string_view src);

}  // namespace kvel::eval
