// tarndb query FILE TABLE: chosen fields of the rows a filter keeps, in the order of any
// field, a window of them (offset, limit), or aggregates over them (per table or per group);
// tarndb count FILE TABLE: how many rows a filter keeps.
//
// Ordering by fields reads only their values from every row, sorts the row numbers in memory
// (ties keep the table's order) and then reads the rows shown; without an order the rows are
// read in the table's (or the index's) order and the reading stops after the last shown.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include "tarndb/table.h"
#include "tools/commands.h"
#include "tools/open_database.h"
#include "tools/row_output.h"
#include "tools/table_view.h"

namespace tarn::cli {

namespace {

int64_t ParseCount(const TParsedArgs& a, const std::string& name, int64_t absent) {
    if (!a.Has(name)) return absent;
    std::string text = a.Value(name);
    int64_t n = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || n < 0)
        throw UsageError("--" + name + " takes a whole number of rows (0 or more), not '" + text +
                         "'");
    return n;
}

std::string NumberText(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

bool IsIntegerType(TFieldType t) {
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc || t == ftLargeint;
}

bool IsNumberType(TFieldType t) { return IsIntegerType(t) || t == ftFloat || t == ftCurrency; }

// One aggregate column: count, or sum / min / max / avg of a field.
struct TAggregate {
    enum Kind { Count, Sum, Min, Max, Avg } kind;
    int field = -1;
    std::string label;
    TFieldType type = ftLargeint;  // the type of the column shown
};

// What one group has gathered for one aggregate.
struct TAccumulator {
    int64_t count = 0;
    int64_t intSum = 0;
    double sum = 0;
    bool have = false;
    TSortValue best;
    std::string bestText;
};

TAggregate ParseAggregate(const std::string& option, const TTableView& view) {
    size_t colon = option.find(':');
    std::string fn = option.substr(0, colon);
    std::string field = colon == std::string::npos ? "" : option.substr(colon + 1);
    TAggregate agg;
    if (fn == "count")
        agg.kind = TAggregate::Count;
    else if (fn == "sum")
        agg.kind = TAggregate::Sum;
    else if (fn == "min")
        agg.kind = TAggregate::Min;
    else if (fn == "max")
        agg.kind = TAggregate::Max;
    else if (fn == "avg")
        agg.kind = TAggregate::Avg;
    else
        throw UsageError("unknown aggregate '" + fn + "' in '" + option +
                         "' (known: count, sum, min, max, avg)");
    if (agg.kind == TAggregate::Count) {
        if (!field.empty()) agg.field = view.RequireField(field, "--aggregate " + option);
        agg.label = "count";
        return agg;
    }
    if (field.empty()) throw UsageError("--aggregate " + fn + " needs a field: " + fn + ":FIELD");
    agg.field = view.RequireField(field, "--aggregate " + option);
    TFieldType t = view.FieldType(agg.field);
    agg.label = fn + "(" + view.Name(agg.field) + ")";
    if ((agg.kind == TAggregate::Sum || agg.kind == TAggregate::Avg) && !IsNumberType(t))
        throw EToolError("--aggregate " + option + ": " + fn + " needs a number field; '" +
                         view.Name(agg.field) + "' is not one");
    if ((agg.kind == TAggregate::Min || agg.kind == TAggregate::Max) && view.IsBlob(agg.field) &&
        !(t == ftMemo || t == ftFmtMemo || t == ftOraClob))
        throw EToolError("--aggregate " + option + ": '" + view.Name(agg.field) +
                         "' holds binary values, which have no order");
    if (agg.kind == TAggregate::Sum)
        agg.type = IsIntegerType(t) ? ftLargeint : ftFloat;
    else if (agg.kind == TAggregate::Avg)
        agg.type = ftFloat;
    else
        agg.type = t;
    return agg;
}

void Accumulate(const TAggregate& agg, TAccumulator& acc, TTableView& view) {
    ++acc.count;
    switch (agg.kind) {
        case TAggregate::Count:
            break;
        case TAggregate::Sum:
        case TAggregate::Avg: {
            TSortValue v = view.SortValue(agg.field);
            if (const auto* i = std::get_if<int64_t>(&v)) {
                if (__builtin_add_overflow(acc.intSum, *i, &acc.intSum) &&
                    agg.kind == TAggregate::Sum)
                    throw EToolError("the sum of " + view.Name(agg.field) +
                                     " does not fit a 64-bit integer");
                acc.sum += static_cast<double>(*i);
            } else {
                acc.sum += std::get<double>(v);
            }
            break;
        }
        case TAggregate::Min:
        case TAggregate::Max: {
            TSortValue v = view.SortValue(agg.field);
            int c = acc.have ? CompareSortValues(v, acc.best) : 0;
            if (!acc.have || (agg.kind == TAggregate::Min ? c < 0 : c > 0)) {
                acc.best = std::move(v);
                acc.bestText = view.Cell(agg.field);
                acc.have = true;
            }
            break;
        }
    }
}

std::string Result(const TAggregate& agg, const TAccumulator& acc) {
    switch (agg.kind) {
        case TAggregate::Count:
            return std::to_string(acc.count);
        case TAggregate::Sum:
            return agg.type == ftLargeint ? std::to_string(acc.intSum) : NumberText(acc.sum);
        case TAggregate::Avg:
            // No rows: no average (JSON null, an empty cell elsewhere).
            return acc.count ? NumberText(acc.sum / static_cast<double>(acc.count)) : "";
        default:
            return acc.bestText;
    }
}

struct TSortValueLess {
    bool operator()(const TSortValue& a, const TSortValue& b) const {
        return CompareSortValues(a, b) < 0;
    }
};

// --aggregate ... [--group-by F]: one row per group (or one for the table), groups in the
// order of their key.
void RunAggregates(const TParsedArgs& a, TTableView& view, TRowWriter*& writer,
                   std::unique_ptr<TRowWriter>& owned, FILE* out, TOutputFormat format, bool header,
                   int64_t offset, int64_t limit) {
    std::vector<TAggregate> aggs;
    for (const std::string& option : a.Values("aggregate"))
        aggs.push_back(ParseAggregate(option, view));
    int groupField = a.Has("group-by") ? view.RequireField(a.Value("group-by"), "--group-by") : -1;
    if (groupField >= 0 && view.IsBlob(groupField) &&
        !(view.FieldType(groupField) == ftMemo || view.FieldType(groupField) == ftFmtMemo ||
          view.FieldType(groupField) == ftOraClob))
        throw EToolError("--group-by: '" + view.Name(groupField) +
                         "' holds binary values, which cannot group rows");
    struct Group {
        std::string text;
        std::vector<TAccumulator> acc;
    };
    std::map<TSortValue, Group, TSortValueLess> groups;
    if (groupField < 0) groups[TSortValue{int64_t{0}}].acc.resize(aggs.size());
    int count = view.Count();
    for (int pos = 1; pos <= count; ++pos) {
        view.Go(pos);
        TSortValue key = groupField < 0 ? TSortValue{int64_t{0}} : view.SortValue(groupField);
        auto [it, added] = groups.try_emplace(std::move(key));
        if (added) {
            it->second.text = view.Cell(groupField);
            it->second.acc.resize(aggs.size());
        }
        for (size_t i = 0; i < aggs.size(); ++i) Accumulate(aggs[i], it->second.acc[i], view);
    }
    std::vector<std::string> names;
    std::vector<TFieldType> types;
    if (groupField >= 0) {
        names.push_back(view.Name(groupField));
        types.push_back(view.FieldType(groupField));
    }
    for (const TAggregate& agg : aggs) {
        names.push_back(agg.label);
        types.push_back(agg.type);
    }
    owned = std::make_unique<TRowWriter>(out, format, names, types, header);
    writer = owned.get();
    std::vector<const Group*> ordered;
    for (const auto& [key, group] : groups) ordered.push_back(&group);
    if (a.Has("desc")) std::reverse(ordered.begin(), ordered.end());
    int64_t shown = 0;
    for (size_t g =
             static_cast<size_t>(std::min<int64_t>(offset, static_cast<int64_t>(ordered.size())));
         g < ordered.size() && shown < limit; ++g, ++shown) {
        std::vector<std::string> cells;
        if (groupField >= 0) cells.push_back(ordered[g]->text);
        for (size_t i = 0; i < aggs.size(); ++i)
            cells.push_back(Result(aggs[i], ordered[g]->acc[i]));
        writer->Row(cells);
    }
}

// Opens the table of a listing command with its index and filter, in a read transaction: a
// sort reads the rows twice, and both passes must see the same commit.
std::unique_ptr<TTarnTable> OpenListed(TToolContext& ctx, TOpenedDatabase& db,
                                       const TParsedArgs& a) {
    db.Database().StartReadTransaction();
    std::unique_ptr<TTarnTable> table = db.NewTable(db.RequireTable(a.positional[1]));
    TOpenedDatabase::OpenTable(*table);
    if (a.Has("index")) SelectIndex(*table, a.Value("index"), a.positional[1]);
    if (a.Has("filter")) ApplyFilter(ctx, *table, a.Value("filter"));
    return table;
}

}  // namespace

int RunQuery(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args,
                              {"fields", "filter", "index", "order-by", "limit", "offset", "format",
                               "header", "output", "aggregate", "group-by"},
                              {"desc"});
    RequirePositional(a, {"FILE", "TABLE"});
    TOutputFormat format = ParseOutputFormat(a.Value("format"));
    bool header = ParseHeaderSetting(a.Value("header"));
    const int64_t limit = ParseCount(a, "limit", INT64_MAX);
    const int64_t offset = ParseCount(a, "offset", 0);
    const bool aggregate = a.Has("aggregate");
    if (!aggregate && a.Has("group-by"))
        throw UsageError("--group-by needs --aggregate (say what to compute per group)");
    if (aggregate && (a.Has("fields") || a.Has("order-by")))
        throw UsageError(std::string("--aggregate shows its own columns, ordered by the group: ") +
                         (a.Has("fields") ? "--fields" : "--order-by") + " does not go with it");
    if (a.Has("desc") && !a.Has("order-by") && !a.Has("group-by"))
        throw UsageError("--desc reverses --order-by or --group-by; give one of them");

    TOpenedDatabase db(ctx, a.positional[0], true);
    std::unique_ptr<TTarnTable> table = OpenListed(ctx, db, a);
    TTableView view(*table);
    TOutputTarget target(ctx.out, a.Value("output"));
    std::unique_ptr<TRowWriter> owned;
    TRowWriter* writer = nullptr;
    if (aggregate) {
        RunAggregates(a, view, writer, owned, target.File(), format, header, offset, limit);
        writer->Finish();
        target.Finish();
        return kExitOk;
    }

    std::vector<int> columns;
    if (a.Has("fields"))
        columns = view.RequireFields(a.Value("fields"), "--fields");
    else
        for (int i = 0; i < view.FieldCount(); ++i) columns.push_back(i);
    std::vector<int> order;
    if (a.Has("order-by")) {
        order = view.RequireFields(a.Value("order-by"), "--order-by");
        for (int f : order) {
            TFieldType t = view.FieldType(f);
            if (view.IsBlob(f) && !(t == ftMemo || t == ftFmtMemo || t == ftOraClob))
                throw EToolError("--order-by: '" + view.Name(f) +
                                 "' holds binary values, which have no order");
        }
    }
    std::vector<std::string> names;
    std::vector<TFieldType> types;
    for (int c : columns) {
        names.push_back(view.Name(c));
        types.push_back(view.FieldType(c));
    }
    owned = std::make_unique<TRowWriter>(target.File(), format, names, types, header);
    writer = owned.get();

    const int count = view.Count();
    // The rows to show, by their number in the view.
    std::vector<int> shown;
    if (order.empty()) {
        for (int64_t pos = offset + 1; pos <= count && pos - offset <= limit; ++pos)
            shown.push_back(static_cast<int>(pos));
    } else {
        struct TKeyed {
            std::vector<TSortValue> keys;
            int recNo;
        };
        std::vector<TKeyed> rows;
        rows.reserve(static_cast<size_t>(count));
        for (int pos = 1; pos <= count; ++pos) {
            view.Go(pos);
            TKeyed row{{}, pos};
            for (int f : order) row.keys.push_back(view.SortValue(f));
            rows.push_back(std::move(row));
        }
        const bool desc = a.Has("desc");
        auto before = [desc](const TKeyed& x, const TKeyed& y) {
            for (size_t k = 0; k < x.keys.size(); ++k) {
                int c = CompareSortValues(x.keys[k], y.keys[k]);
                if (c != 0) return desc ? c > 0 : c < 0;
            }
            return x.recNo < y.recNo;  // ties keep the table's order
        };
        size_t end = rows.size();
        if (limit < static_cast<int64_t>(rows.size()) - offset)
            end = static_cast<size_t>(offset + limit);
        std::partial_sort(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(end), rows.end(),
                          before);
        for (size_t i = static_cast<size_t>(std::min<int64_t>(offset, count)); i < end; ++i)
            shown.push_back(rows[i].recNo);
    }
    std::vector<std::string> cells(columns.size());
    for (int recNo : shown) {
        view.Go(recNo);
        for (size_t c = 0; c < columns.size(); ++c) cells[c] = view.Cell(columns[c]);
        writer->Row(cells);
    }
    writer->Finish();
    target.Finish();
    return kExitOk;
}

int RunCount(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args, {"filter", "output"}, {});
    RequirePositional(a, {"FILE", "TABLE"});
    // Counting what a filter keeps reads values; counting them all needs no password.
    TOpenedDatabase db(ctx, a.positional[0], a.Has("filter"));
    std::unique_ptr<TTarnTable> table = OpenListed(ctx, db, a);
    TOutputTarget target(ctx.out, a.Value("output"));
    std::fprintf(target.File(), "%d\n", table->RecordCount());
    target.Finish();
    return kExitOk;
}

}  // namespace tarn::cli
