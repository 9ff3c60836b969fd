#pragma once

#include <optional>

#include "common/progress.h"
#include "idtable/id_table.h"
#include "protocol/exchange.h"

namespace b6409 {

// The ID table sent to and read from the module through the protocol's exchange. The dependency
// runs one way: the table uses the exchange, and the exchange knows the table only as the
// ListReader it hands a list read's entry frames to.

// Puts the entry frames of a list read into the ID table, which pairs ranges and mappings.
class TableListReader final : public ListReader {
  public:
    explicit TableListReader(IdTable& table) : table_(table) {}
    void ResetReceivePairing() override { table_.ResetReceivePairing(); }
    void AppendReceived(uint16_t code, uint32_t value) override {
        table_.AppendReceived(code, value);
    }

  private:
    IdTable& table_;
};

// The download step of one table row: its code and its values, the target flagged. None for a
// row that cannot be sent (see ReadRowEntry).
std::optional<ListStep> EncodeRow(IdListMode mode, const IdRow& row);

// Progress positions per row: 200 for up to 10 rows, 100 up to 100 rows, 10 beyond.
int ProgressStepFor(size_t rowCount);

struct ListTransferServices {
    ExchangeServices exchange;
    ProgressSink& progress;
    EventPump& pump;
    ProgressColors colors;  // written back into the bar before each download
};

// Downloads the table to the module port of the settings: begin, one exchange per row, end; an
// empty table sends the single accept-all or no-mapping step. A table with a row that cannot be
// sent is refused whole before anything is sent (Refused, the row named with the stop icon).
// Stops at the first failed step, without the end step, and after a row when the pump says stop
// (Stopped, no message). Returns the result of the last exchange run.
CommandResult DownloadList(IdListMode mode, const IdTable& table, const LinkSettings& settings,
                           const ListTransferServices& services);

// Empties the table and reads the module port's list into it; the rows that arrived stay also
// when the read fails.
CommandResult ReadList(IdListMode mode, IdTable& table, const LinkSettings& settings,
                       const ExchangeServices& services);

}  // namespace b6409
