// The object loop of the X parser: a stack of open data objects (the root
// and at most 63 nested ones), references (an object's name in braces)
// kept among the open object's children, objects of unknown templates and template
// declarations skipped whole. A "}" with no object open is an error, not a
// pop of the root.
#include <cstring>

#include "engine/log.h"
#include "engine/memory.h"
#include "model/read/x_file.h"

namespace morpotta {

namespace {

struct Loop {
    XFileContext* context;
    XTokenStream s;
    XObject* stack[kXMaxDepth];
    int depth;
    char token[kXNameMax];
    char name[kXNameMax];
};


bool XTokenIs(const char* token, const char* text) { return std::strcmp(token, text) == 0; }

// Templates the model takes nothing from, whose data would otherwise be
// read as objects: skipped like unknown ones.
bool HasNoUse(int kind) { return kind >= X_KIND_COORDS2D && kind <= X_KIND_COLOR_RGB; }

int Close(Loop* l) {
    if (l->depth == 1) return LogXFileError("Load XFile : 対応する { の無い } がありました");
    --l->depth;
    return 0;
}

int Reference(Loop* l) {
    if (AddXReference(l->context, l->stack[l->depth - 1], l->name) != 0)
        return LogXFileError("Load XFile : 間接参照のオブジェクト名を保存するメモリ領域の確保に失敗しました");
    return 0;
}

// A new object of a known template, its "{" read: pushed and its data parsed.
int Open(Loop* l, int kind) {
    if (l->depth >= kXMaxDepth) {
        WriteLogFormat("階層構造の限界数 %d を超えました", kXMaxDepth);
        return WriteLogFormat("Load XFile : オブジェクト %s ( %s ) のネストが深すぎます", l->name, XTemplateName(kind));
    }
    XObject* o = AddXObject(l->context, l->stack[l->depth - 1], kind, l->name);
    if (!o)
        return WriteLogFormat("Load XFile : オブジェクト %s ( %s ) の追加に失敗しました", l->name, XTemplateName(kind));
    l->stack[l->depth++] = o;
    if (ParseXTemplateData(l->context, &l->s, o) != 0 || XListLeft(&l->s) != 0)
        return WriteLogFormat("Load XFile : オブジェクト %s ( %s ) 解析中にエラーが発生しました", l->name,
                              XTemplateName(kind));
    return 0;
}

int TextToken(Loop* l, char* out) {
    int n = ReadXTextToken(&l->s, out, kXNameMax);
    if (n < 0) return LogXFileError("Load XFile : 長すぎる名前がありました");
    return n;
}

int BadReference() { return LogXFileError("Load XFile : 間接参照の書式が不正です"); }
int NoOpenBrace() { return LogXFileError("Load XFile : オブジェクトの { がありません"); }

int ParseText(Loop* l) {
    for (;;) {
        int n = TextToken(l, l->token);
        if (n < 0) return -1;
        if (n == 0) return 0;
        if (XTokenIs(l->token, "}")) {
            if (Close(l) != 0) return -1;
            continue;
        }
        if (XTokenIs(l->token, "{")) {
            // A reference: a name, maybe an id, then "}".
            if (TextToken(l, l->name) <= 0 || XTokenIs(l->name, "{")) return BadReference();
            if (XTokenIs(l->name, "}")) continue;
            if (Reference(l) != 0) return -1;
            for (int extra = 0;; ++extra) {
                if (extra > 1 || TextToken(l, l->token) <= 0 || XTokenIs(l->token, "{")) return BadReference();
                if (XTokenIs(l->token, "}")) break;
            }
            continue;
        }
        int kind = FindXTemplate(l->token);
        if (kind == X_KIND_NONE || HasNoUse(kind)) {
            if (SkipXTextBlock(&l->s) != 0) return LogXFileError("Load XFile : ブロックの終わりがありません");
            continue;
        }
        if (TextToken(l, l->name) <= 0 || XTokenIs(l->name, "}")) return NoOpenBrace();
        if (XTokenIs(l->name, "{")) {
            l->name[0] = 0;
        } else {
            if (TextToken(l, l->token) <= 0) return NoOpenBrace();
            if (l->token[0] == '<' && TextToken(l, l->token) <= 0) return NoOpenBrace();
            if (!XTokenIs(l->token, "{"))
                return WriteLogFormat("Load XFile : オブジェクト %s ( %s ) の { がありません", l->name, XTemplateName(kind));
        }
        if (Open(l, kind) != 0) return -1;
    }
}

int ParseBinary(Loop* l) {
    XTokenStream* s = &l->s;
    for (;;) {
        int code = PeekXBinaryToken(s);
        if (code < 0) return 0;
        if (code == X_TOKEN_CLOSE_BRACE) {
            SkipXBinaryToken(s);
            if (Close(l) != 0) return -1;
            continue;
        }
        if (code == X_TOKEN_OPEN_BRACE) {
            SkipXBinaryToken(s);
            if (ReadXBinaryName(s, l->name, sizeof(l->name)) < 0) return BadReference();
            if (Reference(l) != 0) return -1;
            if (PeekXBinaryToken(s) == X_TOKEN_GUID) SkipXBinaryToken(s);
            if (PeekXBinaryToken(s) != X_TOKEN_CLOSE_BRACE) return BadReference();
            SkipXBinaryToken(s);
            continue;
        }
        if (code == X_TOKEN_TEMPLATE) {
            // A template declaration: its name and its block.
            SkipXBinaryToken(s);
            if (SkipXBinaryBlock(s) != 0) return LogXFileError("Load XFile : ブロックの終わりがありません");
            continue;
        }
        if (code != X_TOKEN_NAME) {
            if (SkipXBinaryToken(s) != 0) return LogXFileError("Load XFile : データが途中で終わっています");
            continue;
        }
        if (ReadXBinaryName(s, l->token, sizeof(l->token)) < 0) return LogXFileError("Load XFile : 長すぎる名前がありました");
        int kind = FindXTemplate(l->token);
        if (kind == X_KIND_NONE || HasNoUse(kind)) {
            if (SkipXBinaryBlock(s) != 0) return LogXFileError("Load XFile : ブロックの終わりがありません");
            continue;
        }
        l->name[0] = 0;
        if (PeekXBinaryToken(s) == X_TOKEN_NAME && ReadXBinaryName(s, l->name, sizeof(l->name)) < 0)
            return LogXFileError("Load XFile : 長すぎる名前がありました");
        if (PeekXBinaryToken(s) == X_TOKEN_GUID) SkipXBinaryToken(s);
        if (PeekXBinaryToken(s) != X_TOKEN_OPEN_BRACE)
            return WriteLogFormat("Load XFile : オブジェクト %s ( %s ) の { がありません", l->name, XTemplateName(kind));
        SkipXBinaryToken(s);
        if (Open(l, kind) != 0) return -1;
    }
}

}  // namespace

int ParseXFile(const char* data, size_t size, XFileContext* context) {
    if (!data || size < 16 || CompareByteSpan(data, "xof ", 4) != 0) return -1;
    bool binary = CompareByteSpan(data + 8, "bin ", 4) == 0;
    if (!binary && CompareByteSpan(data + 8, "txt ", 4) != 0)
        return LogXFileError("対応している xファイル形式はテキスト形式と非圧縮バイナリ形式のみです");
    if (!context->first) return -1;
    Loop l{};
    l.context = context;
    InitXTokenStream(&l.s, data, size, 16, binary, CompareByteSpan(data + 12, "0064", 4) == 0);
    l.stack[0] = context->first;
    l.depth = 1;
    return binary ? ParseBinary(&l) : ParseText(&l);
}

}  // namespace morpotta
