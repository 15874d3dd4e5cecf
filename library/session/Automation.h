// The small automation client both hosts are made of: create a class by ProgID from the
// servers built or installed with the host, and call it by name through IDispatch, as a page
// script does.
#pragma once

#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Runtime.h"

// An owned interface pointer.
class DispatchPtr {
public:
    DispatchPtr() = default;
    explicit DispatchPtr(IDispatch* p) : p_(p) {}
    DispatchPtr(const DispatchPtr&) = delete;
    DispatchPtr& operator=(const DispatchPtr&) = delete;
    DispatchPtr(DispatchPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    DispatchPtr& operator=(DispatchPtr&& other) noexcept;
    ~DispatchPtr() { Reset(); }
    IDispatch* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void Reset();

private:
    IDispatch* p_ = nullptr;
};

// A byte array a member returned, kept until this goes, its bytes read where they lie: a PNG
// is then copied once, to wherever its caller wants it.
class ByteArray {
public:
    ByteArray() { VariantInit(&v_); }
    ~ByteArray();
    ByteArray(const ByteArray&) = delete;
    ByteArray& operator=(const ByteArray&) = delete;
    // For the call that returns the array.
    VARIANT* result() { return &v_; }
    // The bytes; false when the result is no byte array.
    bool Read(std::string_view* bytes);

private:
    VARIANT v_;
    void* data_ = nullptr;  // while the array's data is held
};

// The result of a failed call: its HRESULT and a sentence saying why.
struct CallError {
    HRESULT hr = S_OK;
    std::string message;
};

// Creates the class progid of the server library named `library` on this thread
// (CoInitializeEx must have run). The library is the one beside the runtime this host runs
// with, registered (once) in a registry private to this process, whatever any other registry
// says about the class.
DispatchPtr CreateByProgId(const char16_t* progid, const char* library, CallError* error);

// The DISPIDs of a class's members, each looked up by name (GetIDsOfNames) on whichever of its
// objects first needs it, for every object of the class after it: its type library gives them
// all the same. Any thread may use it: a member's slot is written once, and whoever writes it
// writes the same value.
class MemberIds {
public:
    explicit MemberIds(std::vector<std::u16string> names);
    // The member's DISPID, looked up on `object` if no object has looked it up yet;
    // DISPID_UNKNOWN when the name is not one of the class's names given, or not found.
    DISPID Find(IDispatch* object, std::u16string_view name) const;

private:
    static constexpr DISPID kNotLookedUp = INT32_MIN;
    // Where a name's hash starts looking in slots_.
    std::size_t Start(std::u16string_view name) const;
    std::vector<std::u16string> names_;
    std::unique_ptr<std::atomic<DISPID>[]> ids_;
    // An open-addressing table of indexes into names_, -1 where empty, four slots a name: a
    // call finds its name with one comparison, where a search of the list made several.
    std::vector<std::int16_t> slots_;
};

// An object called by name, as a script calls it. Like a script engine, it looks each name up
// once (GetIDsOfNames) and calls the member by its DISPID from then on: looking the name up
// again for every call cost more than many of the calls themselves. The names its class's
// MemberIds hold are looked up already.
class ScriptedObject {
public:
    ScriptedObject() = default;
    ScriptedObject(DispatchPtr object, const MemberIds* known)
        : object_(std::move(object)), known_(known) {}
    IDispatch* get() const { return object_.get(); }
    explicit operator bool() const { return static_cast<bool>(object_); }

    // Calls a member by name. args are in the caller's order (Invoke receives them reversed).
    // flags is DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT.
    HRESULT Invoke(std::u16string_view name, WORD flags, std::span<const VARIANT> args,
                   VARIANT* result, CallError* error);

private:
    DispatchPtr object_;
    const MemberIds* known_ = nullptr;
    std::vector<std::pair<std::u16string, DISPID>> ids_;  // other names looked up so far
};
