#pragma once
// The catalogue's chapter of the friend book: reading PostPet's friend file, writing the book as
// vCard, renaming the stored mail by it. Details go where "{1}", "{2}" ... stand.
namespace kamo {

enum class FriendText {
    Title,             // every friend command's box
    ReadFailed,        // {1} the error's words
    Read,              // {1} friends added, {2} updated, {3} unchanged
    DamagedRecords,    // {1} how many records were not read
    DamagedRecord,     // {1} the record's number, {2} its byte offset, {3} its size: a line after DamagedRecords
    DamagedMore,       // {1} how many more than those listed
    OfferFriendFile,   // {1} the friend file found
    CardsFailed,       // {1} the error's words
    CardsWritten,      // {1} how many friends, {2} the file
    RenameFailed,      // {1} the error's words
    RenamedUnfiltered, // renamed, but the filters failed
    RenamedToOwner,    // {1} how many mails
    RenamedToPet,      // {1} how many mails
    RenamedBack,       // {1} how many mails
    PetKind,           // {1} the pet kind's number
};

const char* TextOf(FriendText code);

} // namespace kamo
