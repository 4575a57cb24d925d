#include "platform/store/keyprog.h"

#include <cctype>
#include <cstring>

#include "platform/rtl/cp866.h"
#include "platform/store/codec.h"

namespace kvel::store {
namespace {

// A recursive descent over the text; any surprise gives up.
class Parser {
 public:
  Parser(std::string_view t, const Dbf& dbf) : t_(t), dbf_(dbf) {}

  bool parse(std::vector<KeyProgram::Part>* parts) {
    if (!sum(parts, false)) return false;
    skip();
    return pos_ == t_.size();
  }

 private:
  void skip() {
    while (pos_ < t_.size() && (t_[pos_] == ' ' || t_[pos_] == '\t')) ++pos_;
  }
  bool eat(char c) {
    skip();
    if (pos_ < t_.size() && t_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  std::string ident() {
    skip();
    std::string out;
    while (pos_ < t_.size() &&
           (std::isalnum(static_cast<unsigned char>(t_[pos_])) || t_[pos_] == '_'))
      out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(t_[pos_++]))));
    return out;
  }
  bool number(int* n) {
    skip();
    size_t start = pos_;
    *n = 0;
    while (pos_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[pos_])) && *n < 1000)
      *n = *n * 10 + (t_[pos_++] - '0');
    return pos_ > start;
  }
  const FieldDef* field(const std::string& name) {
    int i = dbf_.field_index(name);
    return i < 0 ? nullptr : &dbf_.fields()[static_cast<size_t>(i)];
  }

  bool sum(std::vector<KeyProgram::Part>* parts, bool upper) {
    if (!term(parts, upper)) return false;
    while (eat('+'))
      if (!term(parts, upper)) return false;
    return true;
  }

  bool term(std::vector<KeyProgram::Part>* parts, bool upper) {
    std::string id = ident();
    if (id.empty()) return false;
    if (eat('(')) {
      if (id == "UPPER") {
        if (!sum(parts, true)) return false;
        return eat(')');
      }
      const FieldDef* f = field(ident());
      if (!f) return false;
      KeyProgram::Part p;
      p.offset = f->offset;
      p.len = f->len;
      p.upper = upper;
      if (id == "DTOS") {
        if (f->type != 'D') return false;
        p.kind = KeyProgram::Part::Dtos;
      } else if (id == "STR") {
        if (f->type != 'N') return false;
        p.kind = KeyProgram::Part::Str;
        p.width = f->len;
        p.dec = f->dec;
        if (eat(',')) {
          if (!number(&p.width) || p.width < 1) return false;
          p.dec = 0;
          if (eat(',') && !number(&p.dec)) return false;
        }
        // Fewer decimals than the field has would round: the evaluator's job.
        if (p.dec < f->dec) return false;
      } else {
        return false;
      }
      if (!eat(')')) return false;
      parts->push_back(p);
      return true;
    }
    const FieldDef* f = field(id);
    if (!f || f->type != 'C') return false;
    KeyProgram::Part p;
    p.offset = f->offset;
    p.len = f->len;
    p.upper = upper;
    parts->push_back(p);
    return true;
  }

  std::string_view t_;
  const Dbf& dbf_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<KeyProgram> KeyProgram::compile(std::string_view text, const Dbf& dbf) {
  KeyProgram k;
  if (!Parser(text, dbf).parse(&k.parts_)) return std::nullopt;
  for (const Part& p : k.parts_) {
    k.size_ += p.kind == Part::Str ? p.width : p.kind == Part::Dtos ? 8 : p.len;
  }
  if (k.size_ < 1 || k.size_ > 256) return std::nullopt;
  return k;
}

void KeyProgram::run(const char* rec, std::string* out) const {
  out->resize(static_cast<size_t>(size_));
  char* o = out->data();
  for (const Part& p : parts_) {
    const char* f = rec + p.offset;
    switch (p.kind) {
      case Part::Text:
        if (p.upper) {
          for (int i = 0; i < p.len; ++i)
            o[i] = static_cast<char>(rtl::cp866::upper(static_cast<uint8_t>(f[i])));
        } else {
          std::memcpy(o, f, static_cast<size_t>(p.len));
        }
        o += p.len;
        break;
      case Part::Str:
        format_number(parse_number(f, static_cast<size_t>(p.len)), p.width, p.dec, o);
        o += p.width;
        break;
      case Part::Dtos:
        format_dtos(parse_dtos(f), o);
        o += 8;
        break;
    }
  }
}

}  // namespace kvel::store
