#include "data/answers/PacketParser.h"

#include "data/answers/AnswerShapeReader.h"
#include "data/answers/ServerError.h"

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

class PacketReader : public nlohmann::json_sax<json> {
public:
    explicit PacketReader(DataPacket &packet) : packet_(packet) {}

    bool sawBoth() const { return sawColumns_ && sawRows_; }
    const std::string &problem() const { return problem_; }

    bool key(string_t &name) override {
        if (depth_ == 1) {
            section_ = name == "columns" ? Section::Columns
                       : name == "rows"  ? Section::Rows
                                         : Section::Other;
            sawColumns_ |= section_ == Section::Columns;
            sawRows_ |= section_ == Section::Rows;
        }
        return true;
    }
    bool start_object(std::size_t) override {
        if (depth_ != 0 && section_ != Section::Other)
            return fail("an object where a value was expected");
        ++depth_;
        return true;
    }
    bool end_object() override {
        --depth_;
        return true;
    }
    bool start_array(std::size_t) override {
        ++depth_;
        if (inRows() && depth_ == 3)
            rowStart_ = packet_.cells.size();
        if (depth_ > 3 && section_ != Section::Other)
            return fail("arrays nested too deep");
        return true;
    }
    bool end_array() override {
        if (inRows() && depth_ == 3 &&
            packet_.cells.size() - rowStart_ != static_cast<size_t>(packet_.columns.size()))
            return fail("a row does not match the columns");
        if (inRows() && depth_ == 3 && packet_.columns.isEmpty())
            ++packet_.rowsWithoutCells;
        --depth_;
        return true;
    }
    bool string(string_t &value) override {
        if (section_ == Section::Columns && depth_ == 2)
            packet_.columns << QString::fromUtf8(value.data(), qsizetype(value.size()));
        else if (inCell())
            packet_.cells.push_back(QString::fromUtf8(value.data(), qsizetype(value.size())));
        else if (section_ != Section::Other)
            return fail("text outside a row");
        return true;
    }
    bool null() override { return cell(QString()); }
    bool boolean(bool value) override { return cell(value ? "true" : "false"); }
    bool number_integer(number_integer_t value) override { return cell(QString::number(value)); }
    bool number_unsigned(number_unsigned_t value) override { return cell(QString::number(value)); }
    bool number_float(number_float_t, const string_t &text) override {
        return cell(QString::fromStdString(text));
    }
    bool binary(binary_t &) override { return fail("binary data"); }
    bool parse_error(std::size_t, const std::string &,
                     const nlohmann::detail::exception &error) override {
        return fail(error.what());
    }

private:
    enum class Section { Other, Columns, Rows };
    bool inRows() const { return section_ == Section::Rows; }
    bool inCell() const { return inRows() && depth_ == 3; }
    bool cell(const QString &value) {
        if (section_ == Section::Other)
            return true;
        if (!inCell())
            return fail("a value outside a row");
        packet_.cells.push_back(value);
        return true;
    }
    bool fail(std::string why) {
        if (problem_.empty())
            problem_ = std::move(why);
        return false;
    }

    DataPacket &packet_;
    Section section_ = Section::Other;
    int depth_ = 0;
    size_t rowStart_ = 0;
    bool sawColumns_ = false, sawRows_ = false;
    std::string problem_;
};

} // namespace

PDataPacket parseDataPacket(const std::string &answer) {
    auto packet = std::make_shared<DataPacket>();
    if (readServerAnswer(answer, *packet))
        return packet;
    packet = std::make_shared<DataPacket>(); // another shape: the general reader decides
    PacketReader reader(*packet);
    const bool parsed = json::sax_parse(answer, &reader);
    if (!parsed || !reader.sawBoth())
        throw ServerError(
            "The application server sent a malformed answer: " +
            (reader.problem().empty() ? std::string("columns or rows missing") : reader.problem()));
    return packet;
}
