#include "aprs/aprs.h"

namespace Aprs {

namespace {

struct SymbolNameRow {
    char code;
    const char* name;
};

// The common symbols of the primary table ('/').
constexpr SymbolNameRow kPrimary[] = {
    {'!', "Police station"},
    {'#', "Digipeater"},
    {'$', "Phone"},
    {'%', "DX cluster"},
    {'&', "HF gateway"},
    {'\'', "Small aircraft"},
    {'(', "Mobile satellite station"},
    {'*', "Snowmobile"},
    {'+', "Red Cross"},
    {'-', "House"},
    {'.', "X"},
    {'/', "Dot"},
    {':', "Fire"},
    {';', "Campground"},
    {'<', "Motorcycle"},
    {'=', "Railroad engine"},
    {'>', "Car"},
    {'?', "File server"},
    {'@', "Hurricane"},
    {'A', "Aid station"},
    {'C', "Canoe"},
    {'E', "Eyeball"},
    {'F', "Tractor"},
    {'H', "Hotel"},
    {'I', "TCP/IP"},
    {'K', "School"},
    {'M', "Mac"},
    {'N', "NTS station"},
    {'O', "Balloon"},
    {'P', "Police"},
    {'R', "Recreational vehicle"},
    {'S', "Space shuttle"},
    {'T', "SSTV"},
    {'U', "Bus"},
    {'W', "National Weather Service site"},
    {'X', "Helicopter"},
    {'Y', "Yacht"},
    {'Z', "Windows"},
    {'[', "Human"},
    {'\\', "Triangle"},
    {']', "Mailbox"},
    {'^', "Large aircraft"},
    {'_', "Weather station"},
    {'`', "Dish antenna"},
    {'a', "Ambulance"},
    {'b', "Bicycle"},
    {'c', "Incident command post"},
    {'d', "Fire department"},
    {'e', "Horse"},
    {'f', "Fire truck"},
    {'g', "Glider"},
    {'h', "Hospital"},
    {'i', "IOTA"},
    {'j', "Jeep"},
    {'k', "Truck"},
    {'l', "Laptop"},
    {'m', "Mic-E repeater"},
    {'n', "Node"},
    {'o', "Emergency operations centre"},
    {'p', "Dog"},
    {'r', "Repeater"},
    {'s', "Ship"},
    {'t', "Truck stop"},
    {'u', "Semi-trailer truck"},
    {'v', "Van"},
    {'w', "Water station"},
    {'x', "X Window"},
    {'y', "House with yagi"},
};

// The common symbols of the alternate table ('\\'), which may carry an overlay.
constexpr SymbolNameRow kAlternate[] = {
    {'!', "Emergency"},     {'#', "Digipeater"}, {'&', "Gateway"},  {'-', "House (HF)"},
    {'>', "Car"},           {'A', "Box"},        {'D', "Depot"},    {'E', "Smoke"},
    {'K', "Kenwood radio"}, {'[', "Wall cloud"}, {'^', "Aircraft"}, {'_', "Weather site"},
    {'a', "ARES"},          {'j', "Work zone"},  {'k', "SUV"},      {'m', "Milepost"},
    {'n', "Triangle"},      {'r', "Restroom"},   {'s', "Ship"},     {'u', "Truck"},
    {'v', "Van"},           {'y', "Skywarn"},    {'0', "Circle"},   {'=', "Railroad"},
};

const char* find(const SymbolNameRow* rows, int count, char code) {
    for (int i = 0; i < count; ++i)
        if (rows[i].code == code)
            return rows[i].name;
    return nullptr;
}

}  // namespace

QString SymbolName(char table, char code) {
    if (table == '/') {
        const char* name = find(kPrimary, int(std::size(kPrimary)), code);
        return name ? QString::fromLatin1(name) : QString();
    }
    const bool overlay = (table >= 'A' && table <= 'Z') || (table >= '0' && table <= '9');
    if (table != '\\' && !overlay)
        return {};
    const char* name = find(kAlternate, int(std::size(kAlternate)), code);
    if (!name)
        return {};
    return overlay ? QStringLiteral("%1 (overlay %2)")
                         .arg(QLatin1String(name), QString(QLatin1Char(table)))
                   : QString::fromLatin1(name);
}

}  // namespace Aprs
