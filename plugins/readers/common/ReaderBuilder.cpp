#include "ReaderBuilder.h"

#include <ombra/diagnostics.h>
#include <ombra/geometry.h>
#include <ombra/messages.h>

namespace obreader {

ProblemSink::~ProblemSink() {}

void LoggingProblems::Report(int code) {
    OBLoggerUtility::LogEntry(OBMessageId(code));
    SetErrorCode(code);
}

void LoggingProblems::Report(int code, const std::string& detail) {
    OBLoggerUtility::LogEntry(OBMessageId(code), detail.c_str());
    SetErrorCode(code);
}

// Running out of memory explains what goes wrong after it (a missing element
// makes a broken reference), and the log may have had no room for it: it
// stays the thread's error code.
void LoggingProblems::SetErrorCode(int code) {
    if (outOfMemory_) return;
    outOfMemory_ = code == OBERR::kOutOfMemory;
    OBErrorUtils::OBSetGlobalErrorCode(code, OBMessageId(code));
}

void ElementBuilder::OutOfMemory() {
    if (!outOfMemory_) problems_.Report(OBERR::kOutOfMemory);
    outOfMemory_ = true;
}

void ElementBuilder::BadReference() {
    if (!badReference_) problems_.Report(OBERR::kBrokenReference);
    badReference_ = true;
}

namespace {

// A bare list grows a chunk at a time; room for twice as many whenever the
// count reaches a power of two keeps a long one linear (children's lists
// double by themselves).
bool GrowsAt(long long n) {
    return n >= 8 && (n & (n - 1)) == 0;
}

} // namespace

Element* ElementBuilder::Top(EL::ElementTypeEnum kind) {
    Element* e = OBCreateStoredElement(kind, &arena_);
    if (!e) {
        OutOfMemory();
        return nullptr;
    }
    long long before = out_->size();
    if (GrowsAt(before)) out_->reserve(2 * before);
    out_->Append(e);
    if (out_->size() == before) {
        Delete(e);
        OutOfMemory();
        return nullptr;
    }
    return e;
}

Element* ElementBuilder::Child(Element* parent, EL::ElementTypeEnum kind) {
    if (!parent) return nullptr;
    Element* e = OBCreateStoredElement(kind, &arena_);
    if (!e) {
        OutOfMemory();
        return nullptr;
    }
    return Attach(parent, e) ? e : nullptr;
}

Element* ElementBuilder::Loose(EL::ElementTypeEnum kind) {
    Element* e = OBCreateStoredElement(kind, &arena_);
    if (!e) OutOfMemory();
    return e;
}

bool ElementBuilder::Attach(Element* parent, Element* child) {
    if (!child) return false;
    if (!parent) {
        Delete(child);
        return false;
    }
    if (!parent->AddChild(child)) {
        Delete(child);
        OutOfMemory();
        return false;
    }
    return true;
}

void ElementBuilder::DropLast(Element* parent) {
    unsigned long long n = parent ? parent->GetChildCount() : 0;
    if (n == 0) return;
    storeOwner_ = nullptr, store_ = nullptr;
    parent->RemoveNthChild(n - 1, true);
}

void ElementBuilder::Delete(Element* e) {
    // The cached store may belong to e or to anything below it.
    storeOwner_ = nullptr, store_ = nullptr;
    delete e;
}

OBAttributeStore* ElementBuilder::Store(Element* e) {
    if (e != storeOwner_) {
        storeOwner_ = e;
        store_ = e ? OBGetAttributeStore(e) : nullptr;
    }
    return store_;
}

void ElementBuilder::Utf8(Element* e, AN::AttrNameEnum a, const std::string& s) {
    if (auto* st = Store(e)) Check(st->SetUtf8(a, s.c_str()));
}

void ElementBuilder::Text(Element* e, AN::AttrNameEnum a, const char16_t* units,
                          std::size_t count) {
    if (auto* st = Store(e))
        Check(st->SetText(a, reinterpret_cast<const unsigned short*>(units),
                          static_cast<long long>(count)));
}

void ElementBuilder::Length(Element* e, AN::AttrNameEnum a, double v,
                            UNITS::LINEAR::UnitEnum unit) {
    if (auto* st = Store(e)) Check(st->SetLength(a, v, unit));
}

void ElementBuilder::Bool(Element* e, AN::AttrNameEnum a, bool v) {
    if (auto* st = Store(e)) Check(st->SetBool(a, v));
}

bool ElementBuilder::Int(Element* e, AN::AttrNameEnum a, long long v) {
    if (v > 2147483647LL) v = 2147483647LL;
    if (v < -2147483647LL) v = -2147483647LL;
    auto* st = Store(e);
    short ok = st ? st->SetInteger(a, static_cast<int>(v)) : 0;
    if (st) Check(ok);
    return ok == 1;
}

void ElementBuilder::Percent(Element* e, AN::AttrNameEnum a, double ratio) {
    if (auto* st = Store(e)) Check(st->SetPercent(a, ratio));
}

void ElementBuilder::Angle(Element* e, AN::AttrNameEnum a, double degrees) {
    if (auto* st = Store(e)) Check(st->SetAngle(a, degrees));
}

void ElementBuilder::Real(Element* e, AN::AttrNameEnum a, double v) {
    if (auto* st = Store(e)) Check(st->SetReal(a, v));
}

void ElementBuilder::Id(Element* e, AN::AttrNameEnum a, unsigned id) {
    if (auto* st = Store(e)) Check(st->SetId(a, id));
}

void ElementBuilder::IdOf(Element* e, AN::AttrNameEnum a, const Element* target) {
    if (target) Id(e, a, target->GetId());
}

void ElementBuilder::Rect(Element* e, AN::AttrNameEnum a, double left, double top, double right,
                          double bottom) {
    // Set side by side: OBRect's constructors would normalise them.
    OBRect rect;
    rect.Left(left);
    rect.Top(top);
    rect.Right(right);
    rect.Bottom(bottom);
    if (auto* st = Store(e)) Check(st->SetRect(a, rect));
}

void ElementBuilder::Point(Element* e, AN::AttrNameEnum a, double x, double y) {
    if (auto* st = Store(e)) Check(st->SetPoint(a, OBPoint(x, y)));
}

void ElementBuilder::Put(Element* e, AN::AttrNameEnum a, Value* v) {
    if (!v) {
        OutOfMemory();
        return;
    }
    if (auto* st = Store(e))
        Check(st->Set(a, v));
    else
        ValueUtil::Recycle(v);
}

} // namespace obreader
