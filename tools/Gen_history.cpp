#include "Gen_history.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

namespace gen {

const std::array<const char *, column_count> column_names = {
    "Date",
    "Time",
    "Time Zone",
    "Name",
    "Type",
    "Status",
    "Gross",
    "Fee",
    "Net",
    "From Email Address",
    "To Email Address",
    "Transaction ID",
    "Counterparty Status",
    "Address Status",
    "Item Title",
    "Item ID",
    "Shipping and Handling Amount",
    "Insurance Amount",
    "Sales Tax",
    "Option 1 Name",
    "Option 1 Value",
    "Option 2 Name",
    "Option 2 Value",
    "Auction Site",
    "Buyer ID",
    "Item URL",
    "Closing Date",
    "Escrow Id",
    "Invoice Id",
    "Reference Txn ID",
    "Invoice Number",
    "Custom Number",
    "Quantity",
    "Receipt ID",
    "Balance",
    "Address Line 1",
    "Address Line 2",
    "Town/City",
    "State/Province",
    "Zip/Postal Code",
    "Country",
    "Contact Phone Number",
};

namespace {

// ---- Numbers --------------------------------------------------------------------------------------

// The finaliser of splitmix64: a bijection of 64-bit numbers.
std::uint64_t mix(std::uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// splitmix64: small, fast and the same everywhere.
class Trandom {
public:
    explicit Trandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next()
    {
        state_ += 0x9E3779B97F4A7C15ull;
        return mix(state_);
    }
    // 0 .. n - 1 (n > 0); the slight bias of the modulo does not matter here.
    std::uint64_t below(std::uint64_t n) { return next() % n; }
    std::int64_t between(std::int64_t lo, std::int64_t hi)
    {
        return lo + static_cast<std::int64_t>(below(static_cast<std::uint64_t>(hi - lo + 1)));
    }
    bool percent(unsigned p) { return below(100) < p; }
    template <class T, std::size_t N> const T &pick(const T (&items)[N]) { return items[below(N)]; }

private:
    std::uint64_t state_;
};

// ---- Calendar -------------------------------------------------------------------------------------

struct Tcivil {
    int year;
    int month;
    int day;
};

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
std::int64_t days_from_civil(int y, int m, int d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

Tcivil civil_from_days(std::int64_t z)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {static_cast<int>(yoe + era * 400) + (m <= 2), m, d};
}

int weekday(std::int64_t days) // 0 = Sunday
{
    return static_cast<int>(((days % 7) + 11) % 7);
}

// Whether Pacific daylight time is in force on that day: from the second Sunday of March to the first
// Sunday of November.
bool daylight_saving(std::int64_t days)
{
    const Tcivil c = civil_from_days(days);
    const std::int64_t march = days_from_civil(c.year, 3, 1);
    const std::int64_t start = march + (7 - weekday(march)) % 7 + 7;
    const std::int64_t november = days_from_civil(c.year, 11, 1);
    const std::int64_t end = november + (7 - weekday(november)) % 7;
    return days >= start && days < end;
}

// ---- Content --------------------------------------------------------------------------------------

struct Tname {
    const char *shown;
    const char *ascii; // for e-mail addresses and buyer IDs
};

constexpr Tname first_names[] = {
    {"Zoë", "zoe"},
    {"Łukasz", "lukasz"},
    {"José", "jose"},
    {"François", "francois"},
    {"Søren", "soren"},
    {"Björk", "bjork"},
    {"Renée", "renee"},
    {"Günther", "gunther"},
    {"Žofie", "zofie"},
    {"Ines", "ines"},
    {"Mary", "mary"},
    {"James", "james"},
    {"Aoife", "aoife"},
    {"Mateo", "mateo"},
    {"Chloé", "chloe"},
    {"Oskar", "oskar"},
    {"Ana", "ana"},
    {"Thomas", "thomas"},
    {"Ólafur", "olafur"},
    {"Émilie", "emilie"},
    {"Ayşe", "ayse"},
    {"Karin", "karin"},
    {"David", "david"},
    {"Nuño", "nuno"},
    {"Małgorzata", "malgorzata"},
    {"Peter", "peter"},
    {"Linda", "linda"},
    {"Jürgen", "jurgen"},
};

constexpr Tname last_names[] = {
    {"Müller", "mueller"},
    {"Kowalski", "kowalski"},
    {"García", "garcia"},
    {"Dubois", "dubois"},
    {"Jørgensen", "jorgensen"},
    {"Guðmundsdóttir", "gudmundsdottir"},
    {"Smith", "smith"},
    {"O'Brien", "obrien"},
    {"Dvořák", "dvorak"},
    {"Çelik", "celik"},
    {"Núñez", "nunez"},
    {"Schäfer", "schafer"},
    {"Wiśniewska", "wisniewska"},
    {"Johnson", "johnson"},
    {"Lefèvre", "lefevre"},
    {"Andersson", "andersson"},
    {"Rossi", "rossi"},
    {"Brown", "brown"},
    {"Fernández", "fernandez"},
    {"Nowak", "nowak"},
    {"Weiß", "weiss"},
    {"Kim", "kim"},
    {"Martin", "martin"},
    {"Hernández", "hernandez"},
    {"Larsen", "larsen"},
    {"Costa", "costa"},
    {"Novák", "novak"},
    {"Taylor", "taylor"},
    {"Ferreira", "ferreira"},
    {"Zieliński", "zielinski"},
    {"Moreau", "moreau"},
    {"Yılmaz", "yilmaz"},
};

constexpr const char *mail_domains[] = {
    "example.com", "Example.COM", "mail.example",  "example.de",     "example.pl",
    "example.es",  "example.fr",  "example.co.uk", "posteo.example", "example.dk",
};

struct Tplace {
    const char *city;
    const char *province;
    const char *zip;
    const char *country;
    const char *phone;
};

constexpr Tplace places[] = {
    {"Berlin", "Berlin", "10115", "Germany", "+49 30 "},
    {"München", "Bayern", "80331", "Germany", "+49 89 "},
    {"Kraków", "Małopolskie", "30-001", "Poland", "+48 12 "},
    {"Łódź", "Łódzkie", "90-001", "Poland", "+48 42 "},
    {"Sevilla", "Andalucía", "41001", "Spain", "+34 954 "},
    {"A Coruña", "Galicia", "15001", "Spain", "+34 981 "},
    {"Montréal", "Québec", "H2X 1Y4", "Canada", "+1 514 "},
    {"San José", "CA", "95112", "United States", "+1 408 "},
    {"Portland", "OR", "97201", "United States", "+1 503 "},
    {"Brooklyn", "NY", "11201", "United States", "+1 718 "},
    {"København", "Hovedstaden", "1050", "Denmark", "+45 "},
    {"Reykjavík", "Höfuðborgarsvæðið", "101", "Iceland", "+354 "},
    {"Zürich", "ZH", "8001", "Switzerland", "+41 44 "},
    {"London", "Greater London", "SW1A 1AA", "United Kingdom", "+44 20 "},
    {"Nîmes", "Gard", "30000", "France", "+33 4 "},
    {"Asunción", "Central", "1209", "Paraguay", "+595 21 "},
};

constexpr const char *streets[] = {
    "Hauptstraße", "Calle del Ñandú",    "ul. Łąkowa",    "Rue de l'Église",   "Søndergade",
    "Main Street", "Avenida José Martí", "Bahnhofstraße", "Rua São João",      "Elm Street",
    "Vía Augusta", "Kings Road",         "Laugavegur",    "Rue Saint-Étienne", "Oak Avenue",
};

constexpr const char *address_extras[] = {"Apt 4B",    "2. OG links", "c/o Müller",
                                          "Suite 210", "m. 12",       "Building C, floor 3"};

// Item titles hold commas and lone double quotes, but never a quote right before a comma.
constexpr const char *item_titles[] = {
    "Vintage 12\" record, mint",
    "7\" single, original press, VG+",
    "Turntable drive belt, 33/45 rpm",
    "Poster \"Nuit étoilée\" 50×70 cm",
    "Café table, oak – 120×80 cm",
    "Zoë's handmade mug, 350 ml",
    "Ñandú plush toy, 30 cm",
    "Gift card 25.00",
    "Łódź city map, 1:20 000",
    "Bundle: 3 × LP, 2 × 7\" singles",
    "Stylus \"Aurora\" cartridge, spare needle included",
    "Complete collection of 1970s jazz records, 48 LPs in original sleeves, some with inserts, VG+ to NM",
    "Record cleaning brush, carbon fibre",
    "Inner sleeves, antistatic (50 pcs)",
    "Hand-knitted scarf, merino wool, moss green",
    "Cassette \"Mixtape Vol. 2\"  – limited run of 200",
    "Wall shelf for 12\" records, walnut, fits 60 LPs",
    "Concert ticket reprint, São Paulo 1988",
    "LP, sealed",
    "Mug",
    "Tote bag, canvas",
    "Patch \"QV\" 8 cm",
    "Sticker set",
    "Slipmat, felt",
};

constexpr const char *option_names[][2] = {{"Size", "Colour"}, {"Format", "Condition"}, {"Size", "Material"}};
constexpr const char *option_values[] = {"M",    "XL",  "Moss green", "Dark blue", "LP",      "7\" single",
                                         "Mint", "VG+", "Walnut",     "Oak",       "Größe L", "Ñ edition"};

constexpr const char *fee_types[] = {"Chargeback Fee", "Payment Review Fee", "Currency Conversion Fee",
                                     "Cross-border Fee"};

constexpr std::int64_t shipping_rates[] = {495, 750, 1200, 2500};
constexpr const char *other_statuses[] = {"Pending", "Refunded", "Cleared"};

constexpr const char *alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// ---- Text building --------------------------------------------------------------------------------

class Tline {
public:
    explicit Tline(std::string &out) : out_(out) {}

    // One quoted column followed by a comma.
    void text(std::string_view s)
    {
        out_ += '"';
        out_ += s;
        out_ += "\",";
    }
    void number(std::int64_t v)
    {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, v);
        text(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
    }
    // Hundredths as the service writes them: "-1,234.56", "0.05".
    void amount(std::int64_t hundredths)
    {
        char buf[40];
        char *p = buf + sizeof buf;
        std::uint64_t v = hundredths < 0 ? 0u - static_cast<std::uint64_t>(hundredths)
                                         : static_cast<std::uint64_t>(hundredths);
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
        *--p = '.';
        int digits = 0;
        do {
            if (digits > 0 && digits % 3 == 0)
                *--p = ',';
            *--p = static_cast<char>('0' + v % 10);
            v /= 10;
            ++digits;
        } while (v > 0);
        if (hundredths < 0)
            *--p = '-';
        text(std::string_view(p, static_cast<std::size_t>(buf + sizeof buf - p)));
    }
    // m/d/yyyy
    void date(const Tcivil &c)
    {
        char buf[16];
        const int n = std::snprintf(buf, sizeof buf, "%d/%d/%d", c.month, c.day, c.year);
        text(std::string_view(buf, static_cast<std::size_t>(n)));
    }
    void end() { out_ += "\r\n"; }

private:
    std::string &out_;
};

std::string lower_ascii(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
    return out;
}

// An e-mail address with some capitals, as people type them.
std::string email(Trandom &rnd, const Tname &first, const Tname &last)
{
    std::string local;
    switch (rnd.below(4)) {
    case 0:
        local = std::string(first.ascii) + "." + last.ascii;
        break;
    case 1:
        local = std::string(1, first.ascii[0]) + last.ascii + std::to_string(rnd.between(1, 99));
        break;
    case 2:
        local = std::string(first.ascii) + "_" + last.ascii;
        break;
    default:
        local = std::string(last.ascii) + std::to_string(rnd.between(50, 99));
        break;
    }
    if (rnd.percent(40) && local[0] >= 'a' && local[0] <= 'z')
        local[0] = static_cast<char>(local[0] - ('a' - 'A'));
    if (rnd.percent(10))
        for (char &c : local)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - ('a' - 'A'));
    return local + "@" + rnd.pick(mail_domains);
}

std::string digits(Trandom &rnd, int n)
{
    std::string s(static_cast<std::size_t>(n), '0');
    for (char &c : s)
        c = static_cast<char>('0' + rnd.below(10));
    return s;
}

enum class Tkind { web_sale, cart_sale, checkout_sale, payment_sent, refund, fee, transfer, conversion };

Tkind pick_kind(Trandom &rnd)
{
    const std::uint64_t r = rnd.below(1000);
    if (r < 330)
        return Tkind::web_sale;
    if (r < 620)
        return Tkind::cart_sale;
    if (r < 720)
        return Tkind::checkout_sale;
    if (r < 800)
        return Tkind::payment_sent;
    if (r < 860)
        return Tkind::refund;
    if (r < 910)
        return Tkind::fee;
    if (r < 960)
        return Tkind::transfer;
    return Tkind::conversion;
}

// A sale's gross in hundredths: mostly small, now and then above a thousand.
std::int64_t sale_gross(Trandom &rnd)
{
    const std::uint64_t r = rnd.below(100);
    if (r < 60)
        return rnd.between(199, 4999);
    if (r < 90)
        return rnd.between(5000, 49999);
    if (r < 98)
        return rnd.between(50000, 199999);
    return rnd.between(200000, 2500000);
}

std::int64_t sale_fee(std::int64_t gross)
{
    return -(gross * 29 / 1000 + 30);
}

struct Tstate {
    std::string seller_email;
    std::string seller_name;
    std::int64_t balance = 0;
    std::vector<std::uint64_t> sale_numbers; // ID numbers of recent sales, for refunds
};

void write_line(Trandom &rnd, Tstate &st, std::string &out, std::uint64_t id_number, std::int64_t day,
                std::uint64_t line_index)
{
    const Tkind kind = pick_kind(rnd);
    const bool sale = kind == Tkind::web_sale || kind == Tkind::cart_sale || kind == Tkind::checkout_sale;
    const Tcivil civil = civil_from_days(day);
    const Tname &first = rnd.pick(first_names);
    const Tname &last = rnd.pick(last_names);
    const Tplace &place = rnd.pick(places);
    const std::string buyer_email = email(rnd, first, last);
    const std::string id = trans_id(id_number);

    std::int64_t gross = 0;
    std::int64_t fee = 0;
    std::int64_t shipping = 0;
    std::int64_t tax = 0;
    int quantity = 0; // 0: the column stays empty
    const char *type = "";
    const char *status = "Completed";
    std::string name = std::string(first.shown) + " " + last.shown;
    std::string from = buyer_email;
    std::string to = st.seller_email;
    std::string ref;
    bool has_address = false;
    const char *title = "";

    switch (kind) {
    case Tkind::web_sale:
    case Tkind::cart_sale:
    case Tkind::checkout_sale:
        type = kind == Tkind::web_sale    ? "Web Accept Payment Received"
               : kind == Tkind::cart_sale ? "Shopping Cart Payment Received"
                                          : "Express Checkout Payment Received";
        gross = sale_gross(rnd);
        fee = sale_fee(gross);
        quantity = kind == Tkind::cart_sale ? static_cast<int>(rnd.between(1, 12))
                                            : (rnd.percent(80) ? 1 : static_cast<int>(rnd.between(2, 3)));
        if (rnd.percent(2))
            quantity = static_cast<int>(rnd.between(50, 250));
        shipping = rnd.percent(40) ? 0 : rnd.pick(shipping_rates);
        tax = rnd.percent(70) ? 0 : gross * 7 / 100;
        status = rnd.percent(95) ? "Completed" : rnd.pick(other_statuses);
        has_address = rnd.percent(80);
        title = rnd.pick(item_titles);
        st.sale_numbers.push_back(id_number);
        if (st.sale_numbers.size() > 64)
            st.sale_numbers.erase(st.sale_numbers.begin());
        break;
    case Tkind::payment_sent:
        type = "Express Checkout Payment Sent";
        gross = -sale_gross(rnd);
        quantity = 1;
        from = st.seller_email;
        to = email(rnd, first, last);
        name = std::string(last.shown) + " Supplies";
        title = rnd.pick(item_titles);
        has_address = rnd.percent(50);
        break;
    case Tkind::refund:
        type = "Refund";
        gross = -sale_gross(rnd);
        fee = -sale_fee(-gross);
        from = st.seller_email;
        to = buyer_email;
        if (!st.sale_numbers.empty())
            ref = trans_id(st.sale_numbers[rnd.below(st.sale_numbers.size())]);
        title = rnd.pick(item_titles);
        break;
    case Tkind::fee:
        type = rnd.pick(fee_types);
        gross = -rnd.between(30, 2000);
        name = "Quorvex";
        from = st.seller_email;
        to = "Billing@Quorvex.example";
        if (!st.sale_numbers.empty() && rnd.percent(50))
            ref = trans_id(st.sale_numbers[rnd.below(st.sale_numbers.size())]);
        break;
    case Tkind::transfer:
        type = "Transfer to Bank Account";
        gross = st.balance > 2000 ? -(st.balance / 2000 * 1000) : -rnd.between(100, 5000);
        name = st.seller_name;
        from = st.seller_email;
        to.clear();
        break;
    case Tkind::conversion:
        type = "Currency Conversion";
        gross = rnd.percent(50) ? sale_gross(rnd) : -sale_gross(rnd);
        name.clear();
        from = st.seller_email;
        to.clear();
        status = "Completed";
        break;
    }
    const std::int64_t net = gross + fee;
    st.balance += net;

    // Seconds of the day spread over the whole day.
    const std::uint64_t second = rnd.below(86400);
    char time_text[16];
    const int time_length =
        std::snprintf(time_text, sizeof time_text, "%d:%02d:%02d", static_cast<int>(second / 3600),
                      static_cast<int>(second / 60 % 60), static_cast<int>(second % 60));

    Tline l(out);
    l.date(civil);                                                                              // 0
    l.text(std::string_view(time_text, static_cast<std::size_t>(time_length)));                 // 1
    l.text(daylight_saving(day) ? "PDT" : "PST");                                               // 2
    l.text(name);                                                                               // 3
    l.text(type);                                                                               // 4
    l.text(status);                                                                             // 5
    l.amount(gross);                                                                            // 6
    l.amount(fee);                                                                              // 7
    l.amount(net);                                                                              // 8
    l.text(from);                                                                               // 9
    l.text(to);                                                                                 // 10
    l.text(id);                                                                                 // 11
    l.text(sale || kind == Tkind::refund ? (rnd.percent(85) ? "Verified" : "Unverified") : ""); // 12
    l.text(has_address ? (rnd.percent(80) ? "Confirmed" : "Unconfirmed") : "");                 // 13
    l.text(title);                                                                              // 14
    const std::string item_id = *title != '\0' ? digits(rnd, 10) : std::string();
    l.text(item_id);                               // 15
    l.amount(shipping);                            // 16
    l.text(sale && rnd.percent(30) ? "0.00" : ""); // 17 insurance
    l.amount(tax);                                 // 18
    const bool options = sale && rnd.percent(20);
    const auto &names = rnd.pick(option_names);
    l.text(options ? names[0] : "");                             // 19
    l.text(options ? rnd.pick(option_values) : "");              // 20
    l.text(options ? names[1] : "");                             // 21
    l.text(options ? rnd.pick(option_values) : "");              // 22
    l.text(sale && rnd.percent(5) ? "Quorvex Marketplace" : ""); // 23
    std::string buyer_id;
    if (sale && rnd.percent(40))
        buyer_id = std::string(first.ascii) + "_" + last.ascii + std::to_string(rnd.between(1, 999));
    l.text(buyer_id);                                                         // 24
    l.text(sale && rnd.percent(10) ? "https://qv.example/i/" + item_id : ""); // 25
    if (sale && rnd.percent(10))
        l.date(civil_from_days(day + rnd.between(3, 10))); // 26
    else
        l.text("");
    l.text("");                                                                                        // 27
    l.text(sale && rnd.percent(30) ? "INV-" + std::to_string(civil.year) + "-" + digits(rnd, 6) : ""); // 28
    l.text(ref);                                                                                       // 29
    l.text(sale && rnd.percent(25) ? "A-" + digits(rnd, 7) : "");                                      // 30
    l.text(sale && rnd.percent(30) ? "ORD-" + std::to_string(line_index + 1000) : "");                 // 31
    if (quantity != 0)
        l.number(quantity); // 32
    else
        l.text("");
    // Each draw from rnd is a statement of its own: the operands of one expression are evaluated in an
    // order that differs between compilers, and the bytes must not.
    std::string receipt;
    if (sale && rnd.percent(15)) {
        receipt = digits(rnd, 16);
        for (std::size_t at : {12u, 8u, 4u})
            receipt.insert(at, 1, '-');
    }
    l.text(receipt);      // 33
    l.amount(st.balance); // 34
    if (has_address) {
        const std::string street = rnd.pick(streets);
        l.text(street + " " + std::to_string(rnd.between(1, 240)));  // 35
        l.text(rnd.percent(20) ? rnd.pick(address_extras) : "");     // 36
        l.text(place.city);                                          // 37
        l.text(place.province);                                      // 38
        l.text(place.zip);                                           // 39
        l.text(place.country);                                       // 40
        l.text(rnd.percent(50) ? place.phone + digits(rnd, 7) : ""); // 41
    } else {
        for (int c = 35; c <= 41; ++c)
            l.text("");
    }
    l.end();
}

} // namespace

std::string trans_id(std::uint64_t number)
{
    // Four letters or digits from one hash, then the 13 base-36 digits of a bijective mix of the number,
    // so that distinct numbers never share an ID.
    std::string id(17, '0');
    std::uint64_t head = mix(number ^ 0x5DEECE66Dull) % (36ull * 36 * 36 * 36);
    for (int i = 3; i >= 0; --i, head /= 36)
        id[static_cast<std::size_t>(i)] = alphabet[head % 36];
    std::uint64_t body = mix(number + 0x9E3779B97F4A7C15ull);
    for (int i = 16; i >= 4; --i, body /= 36)
        id[static_cast<std::size_t>(i)] = alphabet[body % 36];
    return id;
}

Tsummary write_history(const Toptions &options, const std::function<void(std::string_view)> &sink)
{
    constexpr std::size_t flush_at = std::size_t{1} << 20;
    Tsummary summary;
    std::string out;
    out.reserve(flush_at + 4096);
    const auto flush = [&] {
        summary.bytes += out.size();
        sink(out);
        out.clear();
    };

    if (options.header) {
        for (const char *name : column_names) {
            out += '"';
            out += name;
            out += "\",";
        }
        out += "\r\n";
    }

    Trandom rnd(mix(options.seed) ^ 0xA0761D6478BD642Full);
    Tstate st;
    {
        const Tname &first = rnd.pick(first_names);
        const Tname &last = rnd.pick(last_names);
        st.seller_name = std::string(first.shown) + " " + last.shown;
        st.seller_email = "Shop@" + lower_ascii(last.ascii) + ".example";
        st.balance = rnd.between(0, 500000);
    }

    const int first_year = options.first_year;
    const int last_year = options.last_year < first_year ? first_year : options.last_year;
    const std::int64_t first_day = days_from_civil(first_year, 1, 1);
    const std::int64_t days = days_from_civil(last_year, 12, 31) - first_day + 1;
    const std::uint64_t n = options.records;

    for (std::uint64_t i = 0; i < n; ++i) {
        // Line i falls in [i, i + 1) / n of the period, so the dates never go back.
        const std::uint64_t fraction = rnd.below(1024);
        // (Fits 64 bits for the at most a billion lines over at most 300 years that the options allow.)
        const auto day = first_day + static_cast<std::int64_t>((i * 1024 + fraction) *
                                                               static_cast<std::uint64_t>(days) / (n * 1024));
        std::uint64_t id_number;
        if (summary.distinct > 0 && rnd.percent(options.repeat_percent)) {
            id_number = options.first_id + rnd.below(summary.distinct);
        } else {
            id_number = options.first_id + summary.distinct;
            ++summary.distinct;
        }
        write_line(rnd, st, out, id_number, day, i);
        ++summary.lines;
        if (out.size() >= flush_at)
            flush();
    }
    flush();
    return summary;
}

bool write_history_file(const Toptions &options, const std::string &path, Tsummary &summary,
                        std::string &error)
{
    const bool to_stdout = path == "-";
    std::FILE *f = to_stdout ? stdout : std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = true;
    summary = write_history(options, [&](std::string_view bytes) {
        if (ok && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
            ok = false;
            error = std::strerror(errno);
        }
    });
    if (std::fflush(f) != 0 && ok) {
        ok = false;
        error = std::strerror(errno);
    }
    if (!to_stdout && std::fclose(f) != 0 && ok) {
        ok = false;
        error = std::strerror(errno);
    }
    return ok;
}

} // namespace gen
