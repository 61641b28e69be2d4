#include "ClassTable.h"

#include <memory>

namespace fw {
namespace {

std::vector<ClassTable*>& Tables()
{
    static std::vector<ClassTable*> tables;
    return tables;
}

} // namespace

[[noreturn]] void ThrowNilObject()
{
    throw NilObjectException("An object that was needed does not exist.");
}

const PropertyInfo* ClassTable::FindProperty(std::string_view propertyName) const
{
    for (const ClassTable* t = this; t; t = t->parent)
        for (const PropertyInfo& p : t->properties)
            if (p.name == propertyName)
                return &p;
    return nullptr;
}

EventBinding* ClassTable::FindEvent(std::string_view eventName)
{
    for (EventBinding& e : events)
        if (e.name == eventName)
            return &e;
    return nullptr;
}

void ClassTable::DeclareEvent(const std::string& eventName)
{
    if (!FindEvent(eventName))
        events.push_back({eventName, {}});
}

void ClassTable::BindEvent(std::string_view eventName, std::function<void(Object&)> handler)
{
    EventBinding* e = FindEvent(eventName);
    if (!e)
        throw InvalidArgumentException("The class " + name + " has no event named " + std::string(eventName) + ".");
    e->handler = std::move(handler);
}

bool ClassTable::IsA(const ClassTable* other) const
{
    for (const ClassTable* t = this; t; t = t->parent)
        if (t == other)
            return true;
    return false;
}

ClassTable* RuntimeNewClass(ClassTable* parent, std::string name)
{
    auto* t = new ClassTable; // class tables live for the whole process
    t->name = std::move(name);
    t->parent = parent;
    if (parent) {
        for (const EventBinding& e : parent->events)
            t->events.push_back({e.name, {}});
        t->factory = nullptr;
    }
    Tables().push_back(t);
    return t;
}

int RuntimeClassTableCount() { return static_cast<int>(Tables().size()); }

const std::vector<ClassTable*>& RuntimeAllClassTables() { return Tables(); }

Ref<Object> RuntimeNewObject(ClassTable* table)
{
    if (!table)
        ThrowNilObject();
    if (!table->factory)
        throw InvalidArgumentException("Objects of the class " + table->name + " cannot be created directly.");
    return Ref<Object>(table->factory());
}

Ref<Object> RuntimeCheckCast(const Ref<Object>& object, ClassTable* table)
{
    if (!object)
        return object;
    if (!object->Class()->IsA(table))
        throw IllegalCastException("An object of class " + object->Class()->name + " was used where a " +
                                   table->name + " was expected.");
    return object;
}

bool RaiseEvent(Object& object, std::string_view eventName)
{
    EventBinding* e = object.Class()->FindEvent(eventName);
    if (!e || !e->handler)
        return false;
    Ref<Object> keep(object); // the handler may drop the last outside reference
    e->handler(object);
    return true;
}

// The root class.
static ClassTable* gObjectTable = nullptr;
ClassTable* Object::Lookup()
{
    if (!gObjectTable)
        ctblinit();
    return gObjectTable;
}
void Object::ctblinit()
{
    if (!gObjectTable)
        gObjectTable = RuntimeNewClass(nullptr, "Object");
}
ClassTable* Object::Class() const { return Lookup(); }

} // namespace fw
