#pragma once

namespace q7rk {

// Every Yes/No question the program asks the operator. Scripted answers (the tests, the
// runner's --answer-* options) go by these ids, so rewording a question changes no answer.
enum class Question {
    ConfirmStart, // 您确定要开始运行吗？ before a group starts
    SaveResults,  // 测试结束，需要保存吗？ when a run ends with finished tests
    // Giving up the unsaved finished tests of the last run, command by command.
    NewTestUnsaved,
    StartOverUnsaved,
    OpenFoilUnsaved,
    DeleteFoilUnsaved,
    DisplayStoredUnsaved,
    ImportSettingsUnsaved, // 导入旧版设置 loads the channels' parameters again
    QuitUnsaved,
    QuitDuringRun,       // stops the live run
    DisconnectDuringRun, // 关闭串口 or 以太网断开 during a run: stop it, then close the link
    // Tests judged before the program last went and not stored since: save them now?
    RecoverTests,
    // The plant page.
    AddGrade,           // a grade typed that the plant does not list
    DeleteFoil,         // every record of a foil
    UploadPiece,        // one piece into the plant database; asked with the piece number
    UploadPieces,       // all pieces of a group at once; asked with their pieceBits or-ed
    RemoveQueuedUpload, // pieces dropped from the upload queue
    // A stored TV test sent to the plant from the stored tests window: under which serial
    // and as which piece (asked as text, the stored values proposed).
    UploadStoredSerial,
    UploadStoredPiece,
    // The stored tests window.
    DeleteStoredTest,
    DeleteStoredBatch,
    RestoreDeletedTest, // 已删除记录: put the selected deletion back
    // A corrected measurement: write the verdict its record's limits now give as well.
    RejudgeVerdict,
    // The calibration window: every factor of every channel back to 1, and that undone.
    RestoreCalibrationDefaults,
    UndoCalibrationRestore,
    // 合并报表 without its program: name the program's place now?
    LocateMergedReport,
    // A correction, deletion or restore of a stored test while no operator name is on screen:
    // the name it is signed with (asked as text).
    SignerName,
};

// What a scripted answer is set for: the question, and for UploadPiece the piece (1-6), for
// UploadPieces the pieces as bits (pieceBit); 0 where a question concerns no piece.
struct QuestionKey {
    // Implicit: most questions concern no piece and are asked by their id alone.
    QuestionKey(Question id, int piece = 0) : id(id), piece(piece) {}
    Question id;
    int piece;
};

// Piece n (1-6) as bit n - 1: the key of a question about several pieces at once. A number
// outside 1-6 (a piece the upload will refuse) has no bit.
constexpr int pieceBit(int piece) {
    return piece >= 1 && piece <= 6 ? 1 << (piece - 1) : 0;
}

// The id's name as written here ("ConfirmStart"), for messages about unanswered questions.
const char* questionName(Question id);

} // namespace q7rk
