// The programs of one customer, project or machine, as the program list
// file, the program export and the list print-out take them: the user
// picks the item with its chooser, the program index gives the item's live
// programs in DESC order. Names from the database that become part of a
// file or directory name are made safe first, so no stored name can lead
// out of the export directory.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dbmodel/filetable.h"

#include "appcore/message_ids.h"

class TWindow;

enum class TProgramSet { Customer, Project, Machine };

// The selection, owned by the command: each record is freed once.
using TProgramList = std::vector<std::unique_ptr<TcbFileRecord>>;

// Runs the kind's chooser over the parent; the chosen id, or 0 when the
// user did not end it with OK.
long ChooseProgramSet(TWindow& parent, TProgramSet kind);
// The live programs of the item in DESC order; false when the program
// index cannot be read.
bool CollectProgramSet(TProgramSet kind, long id, TProgramList& programs);
// The same, telling the user over `parent` when the index cannot be read.
bool SelectProgramSet(TWindow& parent, TProgramSet kind, long id, TProgramList& programs);
// The item's name as its table holds it (company, project or machine
// name); empty when there is none.
std::string ProgramSetName(TProgramSet kind, long id);
// The name the chooser left (project and machine), or the customer's
// company name from its table.
std::string ChosenProgramSetName(TProgramSet kind, long id);

// A name from the database as part of a file or directory name: "\", "/",
// ":", "*", "?" and control characters become "_", and a name of dots
// alone becomes "_". Other names stay as they are.
std::string SafeNamePart(const std::string& name);
