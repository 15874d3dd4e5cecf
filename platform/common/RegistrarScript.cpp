#include "platform/common/RegistrarScript.h"

#include <algorithm>

#include "platform/common/AsciiCase.h"
#include "platform/common/RegistryKeyName.h"
#include "platform/common/Utf8.h"

namespace platform {
namespace {

enum class TokenKind { kWord, kQuoted, kEquals, kOpen, kClose, kEnd };

struct Token {
    TokenKind kind = TokenKind::kEnd;
    std::string text;
    int line = 0;
};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

class Tokenizer {
public:
    explicit Tokenizer(std::string_view text) : text_(text) {}

    bool Run(std::vector<Token>* tokens, std::string* error) {
        while (true) {
            while (pos_ < text_.size() && IsSpace(text_[pos_])) {
                if (text_[pos_] == '\n') ++line_;
                ++pos_;
            }
            if (pos_ >= text_.size()) {
                tokens->push_back({TokenKind::kEnd, "", line_});
                return true;
            }
            const char c = text_[pos_];
            if (c == '\'') {
                if (!Quoted(tokens, error)) return false;
            } else if (c == '=') {
                tokens->push_back({TokenKind::kEquals, "=", line_});
                ++pos_;
            } else {
                Word(tokens);
            }
        }
    }

private:
    bool Quoted(std::vector<Token>* tokens, std::string* error) {
        const int start_line = line_;
        std::string text;
        ++pos_;
        while (true) {
            // Up to the next quote at once: registering runs every script at every host's start.
            const size_t quote = text_.find('\'', pos_);
            if (quote == std::string_view::npos) {
                *error = "line " + std::to_string(start_line) + ": unterminated quoted text";
                return false;
            }
            const std::string_view run = text_.substr(pos_, quote - pos_);
            line_ += static_cast<int>(std::count(run.begin(), run.end(), '\n'));
            text.append(run);
            pos_ = quote + 1;
            if (pos_ < text_.size() && text_[pos_] == '\'') {
                text.push_back('\'');
                ++pos_;
            } else {
                break;
            }
        }
        tokens->push_back({TokenKind::kQuoted, std::move(text), start_line});
        return true;
    }

    void Word(std::vector<Token>* tokens) {
        const size_t start = pos_;
        while (pos_ < text_.size() && !IsSpace(text_[pos_]) && text_[pos_] != '\'' &&
               text_[pos_] != '=') {
            ++pos_;
        }
        const std::string_view word = text_.substr(start, pos_ - start);
        if (word.find_first_not_of("{}") == std::string_view::npos) {
            for (const char brace : word) {
                tokens->push_back(
                    {brace == '{' ? TokenKind::kOpen : TokenKind::kClose, {brace}, line_});
            }
        } else {
            tokens->push_back({TokenKind::kWord, std::string(word), line_});
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
    int line_ = 1;
};

std::string Describe(const Token& token) {
    switch (token.kind) {
        case TokenKind::kEnd:
            return "the end of the script";
        case TokenKind::kQuoted:
            return "'" + token.text + "'";
        default:
            return "\"" + token.text + "\"";
    }
}

class Parser {
public:
    Parser(std::vector<Token> tokens, const RegistrarReplacementMap& replacements)
        : tokens_(std::move(tokens)), replacements_(replacements) {}

    bool Script(RegistrarKey* root, std::string* error) {
        root->kind = RegistrarKeyKind::kNoRemove;
        while (Peek().kind != TokenKind::kEnd) {
            const Token& token = Next();
            if (token.kind != TokenKind::kWord) return Fail(token, "expected HKCR", error);
            if (!EqualsIgnoringCase(token.text, "HKCR") &&
                !EqualsIgnoringCase(token.text, "HKEY_CLASSES_ROOT")) {
                const bool other_root = EqualsIgnoringCase(token.text.substr(0, 2), "HK");
                return Fail(token,
                            other_root ? "only HKEY_CLASSES_ROOT can be written, not " + token.text
                                       : "expected HKCR, found " + Describe(token),
                            error);
            }
            if (Peek().kind != TokenKind::kOpen) {
                return Fail(Peek(), "expected '{' after " + token.text, error);
            }
            if (!Block(Next(), root, error)) return false;
        }
        return true;
    }

private:
    const Token& Peek() const { return tokens_[index_]; }
    const Token& Next() {
        const Token& token = tokens_[index_];
        if (token.kind != TokenKind::kEnd) ++index_;
        return token;
    }

    static bool Fail(const Token& token, const std::string& what, std::string* error) {
        *error = "line " + std::to_string(token.line) + ": " + what;
        return false;
    }

    // Replaces %NAME% and %% in text, then converts it from UTF-8.
    bool Expand(const Token& token, std::u16string* out, std::string* error) {
        const std::string& text = token.text;
        if (text.find('%') == std::string::npos) {
            if (!Utf8ToUtf16(text, out)) return Fail(token, "text is not valid UTF-8", error);
            return true;
        }
        std::string expanded;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '%') {
                expanded.push_back(text[i]);
                continue;
            }
            const size_t end = text.find('%', i + 1);
            if (end == std::string::npos) {
                return Fail(token, "a '%' without its closing '%' (write %% for one)", error);
            }
            const std::string name = text.substr(i + 1, end - i - 1);
            if (name.empty()) {
                expanded.push_back('%');
            } else {
                const std::string* value = Replacement(name);
                if (value == nullptr)
                    return Fail(token, "unknown replacement %" + name + "%", error);
                expanded += *value;
            }
            i = end;
        }
        if (!Utf8ToUtf16(expanded, out)) return Fail(token, "text is not valid UTF-8", error);
        return true;
    }

    const std::string* Replacement(const std::string& name) const {
        for (const auto& [key, value] : replacements_) {
            if (EqualsIgnoringCase(key, name)) return &value;
        }
        return nullptr;
    }

    bool Name(const Token& token, bool is_key, std::u16string* name, std::string* error) {
        if (token.kind != TokenKind::kWord && token.kind != TokenKind::kQuoted) {
            return Fail(token,
                        std::string("expected a ") + (is_key ? "key" : "value") + " name, found " +
                            Describe(token),
                        error);
        }
        if (!Expand(token, name, error)) return false;
        if (is_key && !IsValidKeyName(*name)) {
            return Fail(token,
                        "invalid key name " + Describe(token) +
                            " (1 to 255 characters, no backslash or control character)",
                        error);
        }
        return true;
    }

    // After '=': s 'text'.
    bool StringValue(std::u16string* data, std::string* error) {
        const Token& type = Next();
        if (type.kind != TokenKind::kWord || !EqualsIgnoringCase(type.text, "s")) {
            const bool other_type =
                type.kind == TokenKind::kWord &&
                (EqualsIgnoringCase(type.text, "d") || EqualsIgnoringCase(type.text, "b") ||
                 EqualsIgnoringCase(type.text, "m"));
            return Fail(type,
                        other_type ? "only string values (s '...') are supported"
                                   : "expected s '...' after '=', found " + Describe(type),
                        error);
        }
        const Token& text = Next();
        if (text.kind != TokenKind::kQuoted) {
            return Fail(text, "expected quoted text after s, found " + Describe(text), error);
        }
        return Expand(text, data, error);
    }

    bool Block(const Token& open, RegistrarKey* key, std::string* error) {
        if (++depth_ > kMaxRegistryDepth) {
            return Fail(
                open, "keys nested more than " + std::to_string(kMaxRegistryDepth) + " levels deep",
                error);
        }
        while (true) {
            const Token& token = Next();
            switch (token.kind) {
                case TokenKind::kClose:
                    --depth_;
                    return true;
                case TokenKind::kEnd:
                    return Fail(token,
                                "missing '}' for the '{' of line " + std::to_string(open.line),
                                error);
                case TokenKind::kOpen:
                case TokenKind::kEquals:
                    return Fail(token, "expected a key name, found " + Describe(token), error);
                case TokenKind::kWord:
                    if (EqualsIgnoringCase(token.text, "val")) {
                        if (!Value(key, error)) return false;
                        continue;
                    }
                    break;
                case TokenKind::kQuoted:
                    break;
            }
            if (!Subkey(token, key, error)) return false;
        }
    }

    bool Value(RegistrarKey* key, std::string* error) {
        std::u16string name;
        if (!Name(Next(), false, &name, error)) return false;
        const Token& equals = Next();
        if (equals.kind != TokenKind::kEquals) {
            return Fail(equals, "expected '=' after the value name", error);
        }
        std::u16string data;
        if (!StringValue(&data, error)) return false;
        key->values.emplace_back(std::move(name), std::move(data));
        return true;
    }

    bool Subkey(const Token& first, RegistrarKey* parent, std::string* error) {
        RegistrarKey key;
        const Token* name_token = &first;
        if (first.kind == TokenKind::kWord) {
            if (EqualsIgnoringCase(first.text, "NoRemove")) {
                key.kind = RegistrarKeyKind::kNoRemove;
            } else if (EqualsIgnoringCase(first.text, "ForceRemove")) {
                key.kind = RegistrarKeyKind::kForceRemove;
            } else if (EqualsIgnoringCase(first.text, "Delete")) {
                key.kind = RegistrarKeyKind::kDelete;
            }
            if (key.kind != RegistrarKeyKind::kPlain) name_token = &Next();
        }
        if (name_token->kind == TokenKind::kWord &&
            (EqualsIgnoringCase(name_token->text, "NoRemove") ||
             EqualsIgnoringCase(name_token->text, "ForceRemove") ||
             EqualsIgnoringCase(name_token->text, "Delete") ||
             EqualsIgnoringCase(name_token->text, "val"))) {
            return Fail(*name_token,
                        "unexpected " + name_token->text + " (quote it to use it as a name)",
                        error);
        }
        if (!Name(*name_token, true, &key.name, error)) return false;
        if (Peek().kind == TokenKind::kEquals) {
            Next();
            key.default_value.emplace();
            if (!StringValue(&*key.default_value, error)) return false;
        }
        if (Peek().kind == TokenKind::kOpen) {
            if (!Block(Next(), &key, error)) return false;
        }
        parent->subkeys.push_back(std::move(key));
        return true;
    }

    std::vector<Token> tokens_;
    size_t index_ = 0;
    size_t depth_ = 0;
    const RegistrarReplacementMap& replacements_;
};

}  // namespace

bool ParseRegistrarScript(std::string_view script, const RegistrarReplacementMap& replacements,
                          RegistrarKey* root, std::string* error) {
    std::vector<Token> tokens;
    if (!Tokenizer(script).Run(&tokens, error)) return false;
    return Parser(std::move(tokens), replacements).Script(root, error);
}

}  // namespace platform
