// The catalogue ids of every message the library raises, by what it is about.
//
// Each is the English entry; the Portuguese text sits at the id + 1. Several
// ids share a text (each operation counts its own failures): the name says
// which operation raises it, and callers that match on a failure may rely on
// the value, which never changes once released.
#pragma once

namespace corvane {

// Properties of the record-level manager.
inline constexpr int kMsgDatabaseNameTooLong = 10400;  // "Database name longer than 31 characters!"
inline constexpr int kMsgDatabaseNameInvalid = 10410;  // "Invalid Database name!"
inline constexpr int kMsgCreatorIdLength = 10600;      // "Creator ID must have 4 characters!"
inline constexpr int kMsgCreatorIdInvalid = 10610;     // "Invalid Creator ID!"
inline constexpr int kMsgDatabaseTypeLength = 10800;   // "Database Type must have 4 characters!"
inline constexpr int kMsgDatabaseTypeInvalid = 10810;  // "Invalid DatabaseType!"
inline constexpr int kMsgFilenameNotPdb = 11000;       // "PDB Filename must have .PDB extension!"
inline constexpr int kMsgFilenameInvalid = 11010;      // "Invalid Filename!"
// "Can´t change Open Mode while Database is open!"
inline constexpr int kMsgOpenModeWhileOpen = 11200;

// Reading records, categories and the cursor.
inline constexpr int kMsgGetRecordNotOpen = 11600;    // "Database not Open!"
inline constexpr int kMsgRecordDoesNotExist = 11610;  // "Record does not exist!"
inline constexpr int kMsgRecordNotInList = 11620;     // "Record was not found in Record List!"
inline constexpr int kMsgRecordNoValidData = 11630;   // "Record does not have valid Data!"
inline constexpr int kMsgRecordAllocation = 11640;    // "Error allocating memory for Record!"
inline constexpr int kMsgRecordRead = 11650;          // "Error reading Record!"
// "Cannot get record from a Write-Only Database!"
inline constexpr int kMsgGetRecordWriteOnly = 11660;
inline constexpr int kMsgRecordSize = 11670;             // "Could not calculate record size!"
inline constexpr int kMsgCloseNotOpen = 11800;           // "Database not open!"
inline constexpr int kMsgReadCategoriesNotOpen = 12000;  // "Database not open!"
// "Cannot read Categories from a Write-Only Database!"
inline constexpr int kMsgReadCategoriesWriteOnly = 12010;
inline constexpr int kMsgNoCategories = 12020;           // "Database does not have Categories!"
inline constexpr int kMsgAppInfoUnreadable = 12030;      // "Could not read AppInfo Block!"
inline constexpr int kMsgCategoriesInvalid = 12040;      // "Invalid Categories List!"
inline constexpr int kMsgGetCategoryIndex = 12200;       // "Maximum Category number is 15!"
inline constexpr int kMsgGetCategoryIdIndex = 12400;     // "Maximum Category number is 15!"
inline constexpr int kMsgRecordCategoryNotOpen = 12600;  // "Database not open!"
// "Cannot get record category from a Write-Only Database!"
inline constexpr int kMsgRecordCategoryWriteOnly = 12610;
inline constexpr int kMsgRecordCategoryNotRetrieved = 12620;  // "Could not retrieve Record!"
inline constexpr int kMsgRecordGet = 12630;                   // "Error getting Record!"
inline constexpr int kMsgRecordCategoryGet = 12640;           // "Error getting Record Category!"
inline constexpr int kMsgPreviousEmpty = 12800;               // "Database is empty!"
// "Cursor is already positioned before the first Record!"
inline constexpr int kMsgPreviousAtBof = 12810;
inline constexpr int kMsgNextEmpty = 13000;  // "Database is empty!"
// "Cursor is already positioned beyond the last Record!"
inline constexpr int kMsgNextAtEof = 13010;

// Opening a database.
inline constexpr int kMsgAppInfoLocate = 13800;  // "Error locating AppInfo Block!"
// "Could not allocate memory for AppInfo Block!"
inline constexpr int kMsgAppInfoAllocation = 13810;
inline constexpr int kMsgAppInfoRead = 13820;     // "Could not read AppInfo Block!"
inline constexpr int kMsgSortInfoLocate = 13900;  // "Error locating SortInfo Block!"
// "Could not allocate memory for SortInfo Block!"
inline constexpr int kMsgSortInfoAllocation = 13910;
inline constexpr int kMsgSortInfoRead = 13920;       // "Could not read SortInfo Block!"
inline constexpr int kMsgAlreadyOpen = 14000;        // "Database already open!"
inline constexpr int kMsgOpenNoDirectory = 14010;    // "Directory was not informed!"
inline constexpr int kMsgOpenNoFilename = 14020;     // "Filename was not informed!"
inline constexpr int kMsgPdbFileMissing = 14030;     // "PDB File does not exist!"
inline constexpr int kMsgPdbFileAssign = 14040;      // "Error assigning PDB File!"
inline constexpr int kMsgPdbFileOpen = 14050;        // "Error opening PDB File!"
inline constexpr int kMsgNotPdbFile = 14060;         // "File is not in Palm Database Format (PDB)!"
inline constexpr int kMsgRecordListRead = 14070;     // "Error reading Record List!"
inline constexpr int kMsgOpenWriteOnly = 14080;      // "Cannot open a Write-Only Database!"
inline constexpr int kMsgAppInfoBlockRead = 14090;   // "Error reading AppInfo Block!"
inline constexpr int kMsgSortInfoBlockRead = 14100;  // "Error reading SortInfo Block!"

// Creating a database and its category table.
inline constexpr int kMsgCreateReadOnly = 14200;        // "Cannot write to a Read-Only Database!"
inline constexpr int kMsgCreateWhileOpen = 14210;       // "Database is open!"
inline constexpr int kMsgCreateNoDirectory = 14220;     // "Directory was not informed!"
inline constexpr int kMsgCreateNoFilename = 14230;      // "Filename was not informed!"
inline constexpr int kMsgCreateCreatorId = 14240;       // "CreatorID was not properly informed!"
inline constexpr int kMsgCreateDatabaseType = 14250;    // "DatabaseType was not properly informed!"
inline constexpr int kMsgPdbFileCreate = 14260;         // "Error creating PDB File!"
inline constexpr int kMsgCreateNoDatabaseName = 14270;  // "Database Name was not informed!"
inline constexpr int kMsgSetCategoryIndex = 14400;      // "Maximum Category number is 15!"
inline constexpr int kMsgWriteCategoryNotOpen = 14600;  // "Database is not open!"
inline constexpr int kMsgWriteCategoryNotCreating = 14800;  // "Database is not open for write!"

// The dataset on a database file.
// "Database name longer than 31 characters!"
inline constexpr int kMsgDataSetDatabaseNameTooLong = 15020;
inline constexpr int kMsgDataSetDatabaseNameInvalid = 15030;  // "Invalid Database name!"
inline constexpr int kMsgDataSetCreatorIdLength = 15040;   // "Creator ID must have 4 characters!"
inline constexpr int kMsgDataSetCreatorIdInvalid = 15050;  // "Invalid Creator ID!"
// "Database Type must have 4 characters!"
inline constexpr int kMsgDataSetDatabaseTypeLength = 15060;
inline constexpr int kMsgDataSetDatabaseTypeInvalid = 15070;  // "Invalid DatabaseType!"
inline constexpr int kMsgDataSetFilenameNotPdb = 15080;  // "PDB Filename must have .PDB extension!"
inline constexpr int kMsgDataSetFilenameInvalid = 15090;  // "Invalid Filename!"
inline constexpr int kMsgDataSetAlreadyOpen = 15100;      // "DataSet is already open"
inline constexpr int kMsgDataSetNoFields = 15110;         // "Fields are not defined"
inline constexpr int kMsgDataSetNotOpen = 15120;          // "DataSet is not open"
// "Row %s, field '%s': %s does not fit the field's type!"
inline constexpr int kMsgDataSetValueDoesNotFitField = 15130;
// "Record %s, field '%s': %s cannot be held by the dataset field!"
inline constexpr int kMsgDataSetValueNotHeldByField = 15140;

// The generic field manager.
// "There are no Fields in the structure!"
inline constexpr int kMsgFieldsNoFieldsInStructure = 40000;
// "Record is not stored as detailed in Fields structure!"
inline constexpr int kMsgFieldsRecordMismatch = 40200;
// "Invalid DataType for this Field (Double)!"
inline constexpr int kMsgFieldGetAsDoubleWrongType = 40400;
// "Invalid DataType for this Field (Double)!"
inline constexpr int kMsgFieldSetAsDoubleWrongType = 40600;
// "Invalid DataType for this Field (Byte)!"
inline constexpr int kMsgFieldGetAsByteWrongType = 40800;
// "Invalid DataType for this Field (Byte)!"
inline constexpr int kMsgFieldSetAsByteWrongType = 41000;
// "Invalid DataType for this Field (Word)!"
inline constexpr int kMsgFieldGetAsWordWrongType = 41200;
// "Invalid DataType for this Field (Word)!"
inline constexpr int kMsgFieldSetAsWordWrongType = 41400;
// "Invalid DataType for this Field (Integer)!"
inline constexpr int kMsgFieldGetAsIntegerWrongType = 41600;
// "Invalid DataType for this Field (Integer)!"
inline constexpr int kMsgFieldSetAsIntegerWrongType = 41800;
// "Invalid DataType for this Field (Float)!"
inline constexpr int kMsgFieldGetAsFloatWrongType = 42000;
// "Invalid DataType for this Field (Float)!"
inline constexpr int kMsgFieldSetAsFloatWrongType = 42200;
// "Invalid DataType for this Field (DateTime)!"
inline constexpr int kMsgFieldGetAsDateTimeWrongType = 42400;
// "Invalid DataType for this Field (DateTime)!"
inline constexpr int kMsgFieldSetAsDateTimeWrongType = 42600;
inline constexpr int kMsgFieldsNotOpen = 42800;          // "Database is not open!"
inline constexpr int kMsgFieldsNotOpenForWrite = 43000;  // "Database is not open for write!"
// "There are no fields specified in Database!"
inline constexpr int kMsgFieldsNoFieldsSpecified = 43200;
inline constexpr int kMsgFieldsNoFieldWithName = 43400;     // "There are no Fields with this name!"
inline constexpr int kMsgFieldsCancelNotAppending = 43600;  // "Not in Append mode!"
inline constexpr int kMsgFieldsPostNotAppending = 43800;    // "Not in Append mode!"
inline constexpr int kMsgFieldsCategoryTooLarge = 44000;    // "Maximum Category number is 15!"
// "Invalid DataType for this Field (PSInt8)!"
inline constexpr int kMsgFieldGetAsPSInt8WrongType = 44200;
// "Invalid DataType for this Field (PSInt8)!"
inline constexpr int kMsgFieldSetAsPSInt8WrongType = 44210;
// "Invalid DataType for this Field (PSInt16)!"
inline constexpr int kMsgFieldGetAsPSInt16WrongType = 44220;
// "Invalid DataType for this Field (PSInt16)!"
inline constexpr int kMsgFieldSetAsPSInt16WrongType = 44230;
// "Invalid DataType for this Field (PSInt32)!"
inline constexpr int kMsgFieldGetAsPSInt32WrongType = 44240;
// "Invalid DataType for this Field (PSInt32)!"
inline constexpr int kMsgFieldSetAsPSInt32WrongType = 44250;
// "Invalid DataType for this Field (PSUInt8)!"
inline constexpr int kMsgFieldGetAsPSUInt8WrongType = 44260;
// "Invalid DataType for this Field (PSUInt8)!"
inline constexpr int kMsgFieldSetAsPSUInt8WrongType = 44270;
// "Invalid DataType for this Field (PSUInt16)!"
inline constexpr int kMsgFieldGetAsPSUInt16WrongType = 44280;
// "Invalid DataType for this Field (PSUInt16)!"
inline constexpr int kMsgFieldSetAsPSUInt16WrongType = 44290;
// "Invalid DataType for this Field (PSUInt32)!"
inline constexpr int kMsgFieldGetAsPSUInt32WrongType = 44300;
// "Invalid DataType for this Field (PSUInt32)!"
inline constexpr int kMsgFieldSetAsPSUInt32WrongType = 44310;
// "Invalid DataType for this Field (PSSingle)!"
inline constexpr int kMsgFieldGetAsPSSingleWrongType = 44320;
// "Invalid DataType for this Field (PSSingle)!"
inline constexpr int kMsgFieldSetAsPSSingleWrongType = 44330;
// "Invalid DataType for this Field (PSDouble)!"
inline constexpr int kMsgFieldGetAsPSDoubleWrongType = 44340;
// "Invalid DataType for this Field (PSDouble)!"
inline constexpr int kMsgFieldSetAsPSDoubleWrongType = 44350;
// "Invalid DataType for this Field (PSDate)!"
inline constexpr int kMsgFieldGetAsPSDateWrongType = 44360;
// "Invalid DataType for this Field (PSDate)!"
inline constexpr int kMsgFieldSetAsPSDateWrongType = 44370;
// "Invalid DataType for this Field (PSTime)!"
inline constexpr int kMsgFieldGetAsPSTimeWrongType = 44380;
// "Invalid DataType for this Field (PSTime)!"
inline constexpr int kMsgFieldSetAsPSTimeWrongType = 44390;
// "Invalid DataType for this Field (PSDateTime)!"
inline constexpr int kMsgFieldGetAsPSDateTimeWrongType = 44400;
// "Invalid DataType for this Field (PSDateTime)!"
inline constexpr int kMsgFieldSetAsPSDateTimeWrongType = 44410;
// "Invalid DataType for this Field (PSBoolean)!"
inline constexpr int kMsgFieldGetAsPSBooleanWrongType = 44420;
// "Invalid DataType for this Field (PSBoolean)!"
inline constexpr int kMsgFieldSetAsPSBooleanWrongType = 44430;

// PocketStudio.
// "Invalid DataType for this Field (PSInt8)!"
inline constexpr int kMsgPSGetAsPSInt8WrongType = 50000;
// "Invalid DataType for this Field (PSInt8)!"
inline constexpr int kMsgPSSetAsPSInt8WrongType = 50010;
// "Invalid DataType for this Field (PSInt16)!"
inline constexpr int kMsgPSGetAsPSInt16WrongType = 50020;
// "Invalid DataType for this Field (PSInt16)!"
inline constexpr int kMsgPSSetAsPSInt16WrongType = 50030;
// "Invalid DataType for this Field (PSInt32)!"
inline constexpr int kMsgPSGetAsPSInt32WrongType = 50040;
// "Invalid DataType for this Field (PSInt32)!"
inline constexpr int kMsgPSSetAsPSInt32WrongType = 50050;
// "Invalid DataType for this Field (PSUInt8)!"
inline constexpr int kMsgPSGetAsPSUInt8WrongType = 50060;
// "Invalid DataType for this Field (PSUInt8)!"
inline constexpr int kMsgPSSetAsPSUInt8WrongType = 50070;
// "Invalid DataType for this Field (PSUInt16)!"
inline constexpr int kMsgPSGetAsPSUInt16WrongType = 50080;
// "Invalid DataType for this Field (PSUInt16)!"
inline constexpr int kMsgPSSetAsPSUInt16WrongType = 50090;
// "Invalid DataType for this Field (PSUInt32)!"
inline constexpr int kMsgPSGetAsPSUInt32WrongType = 50100;
// "Invalid DataType for this Field (PSUInt32)!"
inline constexpr int kMsgPSSetAsPSUInt32WrongType = 50110;
// "Invalid DataType for this Field (PSSingle)!"
inline constexpr int kMsgPSGetAsPSSingleWrongType = 50120;
// "Invalid DataType for this Field (PSSingle)!"
inline constexpr int kMsgPSSetAsPSSingleWrongType = 50130;
// "Invalid DataType for this Field (PSDouble)!"
inline constexpr int kMsgPSGetAsPSDoubleWrongType = 50140;
// "Invalid DataType for this Field (PSDouble)!"
inline constexpr int kMsgPSSetAsPSDoubleWrongType = 50150;
// "Invalid DataType for this Field (PSDate)!"
inline constexpr int kMsgPSGetAsPSDateWrongType = 50160;
// "Invalid DataType for this Field (PSDate)!"
inline constexpr int kMsgPSSetAsPSDateWrongType = 50170;
// "Invalid DataType for this Field (PSTime)!"
inline constexpr int kMsgPSGetAsPSTimeWrongType = 50180;
// "Invalid DataType for this Field (PSTime)!"
inline constexpr int kMsgPSSetAsPSTimeWrongType = 50190;
// "Invalid DataType for this Field (PSDateTime)!"
inline constexpr int kMsgPSGetAsPSDateTimeWrongType = 50200;
// "Invalid DataType for this Field (PSDateTime)!"
inline constexpr int kMsgPSSetAsPSDateTimeWrongType = 50210;
// "Invalid DataType for this Field (PSBoolean)!"
inline constexpr int kMsgPSGetAsPSBooleanWrongType = 50220;
// "Invalid DataType for this Field (PSBoolean)!"
inline constexpr int kMsgPSSetAsPSBooleanWrongType = 50230;
// "Invalid DataType for this Field (PSBinary)!"
inline constexpr int kMsgPSSetAsPSBinaryWrongType = 50240;
// "PSBinary datatype can not hold more than 65505 bytes!"
inline constexpr int kMsgPSBinaryTooLong = 50250;
// "Invalid DataType for this Field (PSBinary)!"
inline constexpr int kMsgPSGetAsPSBinaryWrongType = 50260;
inline constexpr int kMsgPSFieldSize = 50270;  // "Invalid Size for this Field!"

// Java.
// "There are no Fields in the structure!"
inline constexpr int kMsgJavaNoFieldsInStructure = 52000;
inline constexpr int kMsgJavaNoFieldWithName = 52010;  // "There are no Fields with this name!"
// "Record is not stored as detailed in Fields structure!"
inline constexpr int kMsgJavaRecordMismatch = 52020;
inline constexpr int kMsgJavaNotOpen = 52030;          // "Database is not open!"
inline constexpr int kMsgJavaNotOpenForWrite = 52040;  // "Database is not open for write!"
// "There are no fields specified in Database!"
inline constexpr int kMsgJavaNoFieldsSpecified = 52050;
inline constexpr int kMsgJavaStringTooLong = 52060;  // "String field longer than 65535 bytes!"
// "Database name with the Creator ID longer than 31 characters!"
inline constexpr int kMsgJavaHeaderNameTooLong = 52070;

// SQL Driver.
inline constexpr int kMsgSQLNoFieldsInStructure = 52500;  // "There are no Fields in the structure!"
inline constexpr int kMsgSQLNoFieldWithName = 52510;      // "There are no Fields with this name!"
// "Record is not stored as detailed in Fields structure!"
inline constexpr int kMsgSQLRecordMismatch = 52520;
inline constexpr int kMsgSQLNotOpen = 52530;          // "Database is not open!"
inline constexpr int kMsgSQLNotOpenForWrite = 52540;  // "Database is not open for write!"
// "There are no fields specified in Database!"
inline constexpr int kMsgSQLNoFieldsSpecified = 52550;
inline constexpr int kMsgSQLNoStructureRecord = 52560;  // "Database has no structure record!"
// "Invalid DataType for this Field (Char)!"
inline constexpr int kMsgSQLGetAsCharWrongType = 52800;
// "Invalid DataType for this Field (Char)!"
inline constexpr int kMsgSQLSetAsCharWrongType = 52810;
inline constexpr int kMsgSQLGetAsIntWrongType = 52820;  // "Invalid DataType for this Field (Int)!"
inline constexpr int kMsgSQLSetAsIntWrongType = 52830;  // "Invalid DataType for this Field (Int)!"
// "Invalid DataType for this Field (Long)!"
inline constexpr int kMsgSQLGetAsLongWrongType = 52840;
// "Invalid DataType for this Field (Long)!"
inline constexpr int kMsgSQLSetAsLongWrongType = 52850;
// "Invalid DataType for this Field (Short)!"
inline constexpr int kMsgSQLGetAsShortWrongType = 52860;
// "Invalid DataType for this Field (Short)!"
inline constexpr int kMsgSQLSetAsShortWrongType = 52870;
// "Invalid DataType for this Field (Float)!"
inline constexpr int kMsgSQLGetAsFloatWrongType = 52880;
// "Invalid DataType for this Field (Float)!"
inline constexpr int kMsgSQLSetAsFloatWrongType = 52890;
inline constexpr int kMsgSQLDoubleWrongType = 52910;  // "Invalid DataType for this Field (Double)!"
// "Invalid DataType for this Field (Boolean)!"
inline constexpr int kMsgJavaGetAsBooleanWrongType = 53000;
// "Invalid DataType for this Field (Boolean)!"
inline constexpr int kMsgJavaSetAsBooleanWrongType = 53010;
// "Invalid DataType for this Field (Byte)!"
inline constexpr int kMsgJavaGetAsByteWrongType = 53020;
// "Invalid DataType for this Field (Byte)!"
inline constexpr int kMsgJavaSetAsByteWrongType = 53030;
// "Invalid DataType for this Field (Char)!"
inline constexpr int kMsgJavaGetAsCharWrongType = 53040;
// "Invalid DataType for this Field (Char)!"
inline constexpr int kMsgJavaSetAsCharWrongType = 53050;
inline constexpr int kMsgJavaGetAsIntWrongType = 53060;  // "Invalid DataType for this Field (Int)!"
inline constexpr int kMsgJavaSetAsIntWrongType = 53070;  // "Invalid DataType for this Field (Int)!"
// "Invalid DataType for this Field (Long)!"
inline constexpr int kMsgJavaGetAsLongWrongType = 53080;
// "Invalid DataType for this Field (Long)!"
inline constexpr int kMsgJavaSetAsLongWrongType = 53090;
// "Invalid DataType for this Field (Short)!"
inline constexpr int kMsgJavaGetAsShortWrongType = 53100;
// "Invalid DataType for this Field (Short)!"
inline constexpr int kMsgJavaSetAsShortWrongType = 53110;
// "Invalid DataType for this Field (Date)!"
inline constexpr int kMsgJavaGetAsDateWrongType = 53140;
// "Invalid DataType for this Field (Date)!"
inline constexpr int kMsgJavaSetAsDateWrongType = 53150;

// NS Basic.
// "Invalid DataType for this Field (Single)!"
inline constexpr int kMsgNSBGetAsNSBSingleWrongType = 55000;
// "Invalid DataType for this Field (Single)!"
inline constexpr int kMsgNSBSetAsNSBSingleWrongType = 55010;
// "Invalid DataType for this Field (Byte)!"
inline constexpr int kMsgNSBGetAsNSBByteWrongType = 55020;
// "Invalid DataType for this Field (Byte)!"
inline constexpr int kMsgNSBSetAsNSBByteWrongType = 55030;
// "Invalid DataType for this Field (Short)!"
inline constexpr int kMsgNSBGetAsNSBShortWrongType = 55040;
// "Invalid DataType for this Field (short)!"
inline constexpr int kMsgNSBSetAsNSBShortWrongType = 55050;
// "Invalid DataType for this Field (Integer)!"
inline constexpr int kMsgNSBGetAsNSBIntegerWrongType = 55060;
// "Invalid DataType for this Field (Integer)!"
inline constexpr int kMsgNSBSetAsNSBIntegerWrongType = 55070;
// "Invalid DataType for this Field (Float)!"
inline constexpr int kMsgNSBGetAsNSBFloatWrongType = 55080;
// "Invalid DataType for this Field (Float)!"
inline constexpr int kMsgNSBSetAsNSBFloatWrongType = 55090;
// "Invalid DataType for this Field (Date)!"
inline constexpr int kMsgNSBGetAsNSBDateWrongType = 55100;
// "Invalid DataType for this Field (Date)!"
inline constexpr int kMsgNSBSetAsNSBDateWrongType = 55110;
// "Invalid DataType for this Field (Time)!"
inline constexpr int kMsgNSBGetAsNSBTimeWrongType = 55120;
// "Invalid DataType for this Field (Time)!"
inline constexpr int kMsgNSBSetAsNSBTimeWrongType = 55130;
inline constexpr int kMsgNSBFieldSize = 55140;  // "Invalid Size for this Field!"

// AppForge.
inline constexpr int kMsgAFNoFieldsInStructure = 57000;  // "There are no Fields in the structure!"
inline constexpr int kMsgAFNoFieldWithName = 57010;      // "There are no Fields with this name!"
// "Record is not stored as detailed in Fields structure!"
inline constexpr int kMsgAFRecordMismatch = 57020;
inline constexpr int kMsgAFNotOpen = 57030;          // "Database is not open!"
inline constexpr int kMsgAFNotOpenForWrite = 57040;  // "Database is not open for write!"
// "There are no fields specified in Database!"
inline constexpr int kMsgAFNoFieldsSpecified = 57050;
// "Invalid DataType in the Fields structure of the AppInfo Block!"
inline constexpr int kMsgAFFieldTypeInvalid = 57060;
// "Fields structure too large for the AppInfo Block!"
inline constexpr int kMsgAFFieldTableTooLarge = 57070;
// "AppForge databases write their own category table: WriteCategory cannot be set!"
inline constexpr int kMsgAFOwnCategoryTable = 57080;
// "Invalid DataType for this Field (AFByte)!"
inline constexpr int kMsgAFGetAsAFByteWrongType = 58000;
// "Invalid DataType for this Field (AFByte)!"
inline constexpr int kMsgAFSetAsAFByteWrongType = 58010;
// "Invalid DataType for this Field (AFInteger)!"
inline constexpr int kMsgAFGetAsAFIntegerWrongType = 58020;
// "Invalid DataType for this Field (AFInteger)!"
inline constexpr int kMsgAFSetAsAFIntegerWrongType = 58030;
// "Invalid DataType for this Field (AFLong)!"
inline constexpr int kMsgAFGetAsAFLongWrongType = 58040;
// "Invalid DataType for this Field (AFLong)!"
inline constexpr int kMsgAFSetAsAFLongWrongType = 58050;
// "Invalid DataType for this Field (AFSingle)!"
inline constexpr int kMsgAFGetAsAFSingleWrongType = 58060;
// "Invalid DataType for this Field (AFSingle)!"
inline constexpr int kMsgAFSetAsAFSingleWrongType = 58070;
// "Invalid DataType for this Field (AFDouble)!"
inline constexpr int kMsgAFGetAsAFDoubleWrongType = 58080;
// "Invalid DataType for this Field (AFDouble)!"
inline constexpr int kMsgAFSetAsAFDoubleWrongType = 58090;
// "Invalid DataType for this Field (AFCurrency)!"
inline constexpr int kMsgAFGetAsAFCurrencyWrongType = 58100;
// "Invalid DataType for this Field (AFCurrency)!"
inline constexpr int kMsgAFSetAsAFCurrencyWrongType = 58110;
// "Invalid DataType for this Field (AFDate)!"
inline constexpr int kMsgAFGetAsAFDateWrongType = 58120;
// "Invalid DataType for this Field (AFDate)!"
inline constexpr int kMsgAFSetAsAFDateWrongType = 58130;
// "Invalid DataType for this Field (AFBoolean)!"
inline constexpr int kMsgAFGetAsAFBooleanWrongType = 58140;
// "Invalid DataType for this Field (AFBoolean)!"
inline constexpr int kMsgAFSetAsAFBooleanWrongType = 58150;

// Appending and writing records, whatever the engine.
inline constexpr int kMsgCancelNotAppending = 60000;  // "Not in Append mode!"
inline constexpr int kMsgPostNotAppending = 60010;    // "Not in Append mode!"
inline constexpr int kMsgCategoryTooLarge = 60020;    // "Maximum Category number is 15!"
// "Database is not in Creation mode (dmModeWriteOnly)!"
inline constexpr int kMsgNotCreating = 60030;
// "A database cannot hold more than 65535 records!"
inline constexpr int kMsgTooManyRecords = 60040;
inline constexpr int kMsgRecordTooLong = 60050;  // "A record cannot be longer than 65535 bytes!"
// "A database cannot be larger than 4 GiB!" (its offsets are 32-bit)
inline constexpr int kMsgDatabaseTooLarge = 60070;
// "A record database cannot have the resource attribute (0x0001)!"
inline constexpr int kMsgResourceAttribute = 60080;
// "A header date must lie between 1970-01-02 and 2040-02-06!"
inline constexpr int kMsgHeaderDateRange = 60090;

// NS Basic: the engine frame's checks.
inline constexpr int kMsgNSBNoFieldsInStructure = 61000;  // "There are no Fields in the structure!"
inline constexpr int kMsgNSBNoFieldWithName = 61010;      // "There are no Fields with this name!"
// "Record is not stored as detailed in Fields structure!"
inline constexpr int kMsgNSBRecordMismatch = 61020;
inline constexpr int kMsgNSBNotOpen = 61030;          // "Database is not open!"
inline constexpr int kMsgNSBNotOpenForWrite = 61040;  // "Database is not open for write!"
// "There are no fields specified in Database!"
inline constexpr int kMsgNSBNoFieldsSpecified = 61050;

// PocketStudio: the engine frame's checks.
inline constexpr int kMsgPSNoFieldsInStructure = 65000;  // "There are no Fields in the structure!"
inline constexpr int kMsgPSNoFieldWithName = 65010;      // "There are no Fields with this name!"
// "Record is not stored as detailed in Fields structure!"
inline constexpr int kMsgPSRecordMismatch = 65020;
inline constexpr int kMsgPSNotOpen = 65030;          // "Database is not open!"
inline constexpr int kMsgPSNotOpenForWrite = 65040;  // "Database is not open for write!"
// "There are no fields specified in Database!"
inline constexpr int kMsgPSNoFieldsSpecified = 65050;

// The built-in applications' records and e-books.
inline constexpr int kMsgRecordTooShort = 70000;  // "Record is shorter than its fixed part!"
// "A text of the record is not ended by a zero byte!"
inline constexpr int kMsgTextNotEnded = 70010;
// "Application-info block is shorter than its fixed part!"
inline constexpr int kMsgAppInfoTooShort = 70020;
// "Date Book exception list runs past the end of the record!"
inline constexpr int kMsgExceptionsPastEnd = 70030;
inline constexpr int kMsgTextHoldsZero = 70040;  // "A text holds a zero byte and cannot be stored!"
inline constexpr int kMsgValueOutOfRange = 70050;    // "A value is out of range for its field!"
inline constexpr int kMsgDocHeaderTooShort = 70060;  // "E-book header record is too short!"
inline constexpr int kMsgDocCompression = 70070;     // "Unknown e-book compression!"
// "Compressed e-book text refers back before its start!"
inline constexpr int kMsgDocBackBeforeStart = 70080;
inline constexpr int kMsgDocBeyondLimit = 70090;  // "E-book text expands beyond its limit!"
// "Compressed e-book text ends inside a literal run!"
inline constexpr int kMsgDocLiteralCut = 70100;
inline constexpr int kMsgNameTooLong = 70110;  // "Name longer than 16 bytes!"
// "E-book header names more text records than the database holds!"
inline constexpr int kMsgDocMissingRecords = 70120;
inline constexpr int kMsgDocTooLong = 70130;  // "E-book text too long!"

// Flat-file tables (JFile, MobileDB).
// "The table names more fields than it has slots for!"
inline constexpr int kMsgJFileFieldCount = 74000;
inline constexpr int kMsgJFileNameTooLong = 74010;  // "Field name longer than 21 bytes!"
// "The row holds fewer fields than its table!"
inline constexpr int kMsgJFileFewerFields = 74020;
// "MobileDB record does not start with its fixed header!"
inline constexpr int kMsgMobileDBHeader = 74030;
// "MobileDB record is not ended by its end marker!"
inline constexpr int kMsgMobileDBNotEnded = 74040;
// "MobileDB field number 255 is the end marker and cannot be stored!"
inline constexpr int kMsgMobileDBFieldNumber = 74050;

}  // namespace corvane
