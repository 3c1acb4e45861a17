// MOF subset reader: a tokenizer and a recursive-descent parser over its tokens.
#include <cctype>
#include <map>
#include <stdexcept>
#include <strings.h>

#include "mof_reader.h"

namespace hostsim::server {

namespace {

struct MofError : std::runtime_error {
    MofError(int where, const std::string &what) : std::runtime_error(what), line(where) {}
    int line;
};

enum class Kind { End, Word, Literal, Punct };

struct Token {
    Kind kind = Kind::End;
    std::string text; // a literal keeps its first character: '"' for strings
    int line = 1;
};

class Lexer {
  public:
    explicit Lexer(const std::string &text) : text_(text) {}

    Token next() {
        skip_blanks();
        Token token;
        token.line = line_;
        if (pos_ >= text_.size()) {
            return token;
        }
        char c = text_[pos_];
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            token.kind = Kind::Word;
            token.text = take_while([](char ch) { return std::isalnum(ch) || ch == '_'; });
        } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' ||
                   c == '.') {
            token.kind = Kind::Literal;
            token.text = take_while(
                [](char ch) { return std::isalnum(ch) || ch == '.' || ch == '+' || ch == '-'; });
        } else if (c == '"' || c == '\'') {
            token.kind = Kind::Literal;
            token.text = quoted(c);
        } else if (std::string("[](){},;:=").find(c) != std::string::npos) {
            token.kind = Kind::Punct;
            token.text = std::string(1, c);
            ++pos_;
        } else {
            throw MofError(line_, std::string("unexpected character '") + c + "'");
        }
        return token;
    }

  private:
    template <class Pred> std::string take_while(Pred pred) {
        size_t start = pos_;
        while (pos_ < text_.size() && pred(text_[pos_])) {
            ++pos_;
        }
        return text_.substr(start, pos_ - start);
    }

    // A string or char literal with its escapes kept as written; only its extent matters.
    std::string quoted(char quote) {
        size_t start = pos_++;
        while (pos_ < text_.size() && text_[pos_] != quote) {
            if (text_[pos_] == '\n') {
                break;
            }
            pos_ += text_[pos_] == '\\' ? 2 : 1;
        }
        if (pos_ >= text_.size() || text_[pos_] != quote) {
            throw MofError(line_, "unterminated literal");
        }
        ++pos_;
        return text_.substr(start, pos_ - start);
    }

    void skip_to(const char *end) {
        size_t found = text_.find(end, pos_);
        size_t stop = found == std::string::npos ? text_.size() : found;
        for (size_t i = pos_; i < stop; ++i) {
            line_ += text_[i] == '\n' ? 1 : 0;
        }
        pos_ = stop;
    }

    // Whitespace, comments and preprocessor lines (#pragma locale, include, ...).
    void skip_blanks() {
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                ++pos_;
            } else if (text_.compare(pos_, 2, "//") == 0 || c == '#') {
                skip_to("\n");
            } else if (text_.compare(pos_, 2, "/*") == 0) {
                int startLine = line_;
                skip_to("*/");
                if (pos_ >= text_.size()) {
                    throw MofError(startLine, "unterminated comment");
                }
                pos_ += 2;
            } else {
                return;
            }
        }
    }

    const std::string &text_;
    size_t pos_ = 0;
    int line_ = 1;
};

// Qualifier names (lower case) with the first literal of their value, "" when none.
using Qualifiers = std::map<std::string, std::string>;

bool flag(const Qualifiers &qualifiers, const char *name) {
    auto found = qualifiers.find(name);
    return found != qualifiers.end() && strcasecmp(found->second.c_str(), "false") != 0;
}

std::string lower(std::string text) {
    for (char &c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

class Parser {
  public:
    explicit Parser(const std::string &text) : lexer_(text) { advance(); }

    std::vector<ClassDecl> file() {
        std::vector<ClassDecl> classes;
        while (token_.kind != Kind::End) {
            qualifier_list();
            int line = token_.line;
            if (is_word("class")) {
                advance();
                classes.push_back(class_decl(line));
            } else if (is_word("qualifier")) {
                skip_value(";");
                expect(';');
            } else {
                throw MofError(line, "expected a class declaration, found '" + token_.text + "'");
            }
        }
        return classes;
    }

  private:
    void advance() { token_ = lexer_.next(); }
    bool is_punct(char c) const { return token_.kind == Kind::Punct && token_.text[0] == c; }
    bool is_word(const char *word) const {
        return token_.kind == Kind::Word && strcasecmp(token_.text.c_str(), word) == 0;
    }
    [[noreturn]] void fail(const std::string &expected) const {
        std::string found = token_.kind == Kind::End ? "the end" : "'" + token_.text + "'";
        throw MofError(token_.line, "expected " + expected + ", found " + found);
    }
    void expect(char c) {
        if (!is_punct(c)) {
            fail(std::string("'") + c + "'");
        }
        advance();
    }
    std::string word(const char *what) {
        if (token_.kind != Kind::Word) {
            fail(what);
        }
        std::string text = token_.text;
        advance();
        return text;
    }

    // Skips a value up to one of `stops` outside brackets; returns its first token.
    std::string skip_value(const char *stops) {
        std::string first = token_.text;
        int depth = 0;
        while (token_.kind != Kind::End) {
            if (token_.kind == Kind::Punct) {
                char c = token_.text[0];
                if (depth == 0 && std::string(stops).find(c) != std::string::npos) {
                    return first;
                }
                depth += (c == '(' || c == '{' || c == '[') ? 1 : 0;
                depth -= (c == ')' || c == '}' || c == ']') ? 1 : 0;
                if (depth < 0) {
                    fail("a value");
                }
            }
            advance();
        }
        fail(std::string("one of \"") + stops + "\"");
    }

    // [Name, Name (value), Name {values} : Flavor, ...]
    Qualifiers qualifier_list() {
        Qualifiers qualifiers;
        if (!is_punct('[')) {
            return qualifiers;
        }
        advance();
        while (true) {
            std::string name = lower(word("a qualifier name"));
            std::string value;
            if (is_punct('(')) {
                advance();
                value =
                    token_.kind == Kind::Literal || token_.kind == Kind::Word ? token_.text : "";
                skip_value(")");
                expect(')');
            } else if (is_punct('{')) {
                skip_value(",]:");
            }
            if (is_punct(':')) {
                advance();
                while (token_.kind == Kind::Word) {
                    advance();
                }
            }
            qualifiers[name] = value;
            if (is_punct(']')) {
                advance();
                return qualifiers;
            }
            expect(',');
        }
    }

    CimType data_type(const std::string &typeWord, bool reference, int line) {
        CimType type;
        if (reference) {
            type.base = CMPI_ref;
            type.refClass = typeWord;
        } else if (!type_from_cim_name(typeWord, &type.base) || type.base == CMPI_ref) {
            throw MofError(line, "unknown type '" + typeWord + "'");
        }
        return type;
    }

    // "[]" or "[n]" after a name.
    bool array_brackets() {
        if (!is_punct('[')) {
            return false;
        }
        advance();
        if (token_.kind == Kind::Literal) {
            advance();
        }
        expect(']');
        return true;
    }

    ClassDecl class_decl(int line) {
        ClassDecl decl;
        decl.line = line;
        decl.name = word("a class name");
        if (is_punct(':')) {
            advance();
            decl.superclass = word("a superclass name");
        }
        expect('{');
        while (!is_punct('}')) {
            feature(&decl);
        }
        advance();
        expect(';');
        return decl;
    }

    void feature(ClassDecl *decl) {
        Qualifiers qualifiers = qualifier_list();
        int line = token_.line;
        std::string typeWord = word("a type");
        bool reference = is_word("REF");
        if (reference) {
            advance();
        }
        std::string name = word("a feature name");
        if (is_punct('(')) {
            if (reference) {
                throw MofError(line, "method " + name + " cannot return a reference");
            }
            MethodDecl method;
            method.name = name;
            method.returnType = data_type(typeWord, false, line).base;
            advance();
            bool more = !is_punct(')');
            while (more) {
                method.parameters.push_back(parameter());
                more = !is_punct(')');
                if (more) {
                    expect(',');
                }
            }
            advance();
            decl->methods.push_back(method);
        } else {
            PropertyDecl property;
            property.name = name;
            property.type = data_type(typeWord, reference, line);
            property.type.array = array_brackets();
            property.key = flag(qualifiers, "key");
            if (is_punct('=')) {
                advance();
                skip_value(";");
            }
            decl->properties.push_back(property);
        }
        expect(';');
    }

    ParameterDecl parameter() {
        Qualifiers qualifiers = qualifier_list();
        int line = token_.line;
        std::string typeWord = word("a parameter type");
        bool reference = is_word("REF");
        if (reference) {
            advance();
        }
        ParameterDecl param;
        param.name = word("a parameter name");
        param.type = data_type(typeWord, reference, line);
        param.type.array = array_brackets();
        // IN is true unless said otherwise; OUT only when given.
        param.in = qualifiers.count("in") == 0 || flag(qualifiers, "in");
        param.out = flag(qualifiers, "out");
        if (is_punct('=')) {
            advance();
            skip_value(",)");
        }
        return param;
    }

    Lexer lexer_;
    Token token_;
};

} // namespace

bool read_mof(const std::string &text, const std::string &origin, std::vector<ClassDecl> *classes,
              std::string *error) {
    try {
        Parser parser(text);
        std::vector<ClassDecl> read = parser.file();
        classes->insert(classes->end(), read.begin(), read.end());
        return true;
    } catch (const MofError &e) {
        *error = origin + ":" + std::to_string(e.line) + ": " + e.what();
        return false;
    }
}

} // namespace hostsim::server
