#include "Question.h"

namespace q7rk {

const char* questionName(Question id) {
    switch (id) {
    case Question::ConfirmStart:
        return "ConfirmStart";
    case Question::SaveResults:
        return "SaveResults";
    case Question::NewTestUnsaved:
        return "NewTestUnsaved";
    case Question::StartOverUnsaved:
        return "StartOverUnsaved";
    case Question::OpenFoilUnsaved:
        return "OpenFoilUnsaved";
    case Question::DeleteFoilUnsaved:
        return "DeleteFoilUnsaved";
    case Question::DisplayStoredUnsaved:
        return "DisplayStoredUnsaved";
    case Question::ImportSettingsUnsaved:
        return "ImportSettingsUnsaved";
    case Question::QuitUnsaved:
        return "QuitUnsaved";
    case Question::QuitDuringRun:
        return "QuitDuringRun";
    case Question::DisconnectDuringRun:
        return "DisconnectDuringRun";
    case Question::RecoverTests:
        return "RecoverTests";
    case Question::RestoreCalibrationDefaults:
        return "RestoreCalibrationDefaults";
    case Question::UndoCalibrationRestore:
        return "UndoCalibrationRestore";
    case Question::LocateMergedReport:
        return "LocateMergedReport";
    case Question::SignerName:
        return "SignerName";
    case Question::AddGrade:
        return "AddGrade";
    case Question::DeleteFoil:
        return "DeleteFoil";
    case Question::UploadPiece:
        return "UploadPiece";
    case Question::UploadPieces:
        return "UploadPieces";
    case Question::RemoveQueuedUpload:
        return "RemoveQueuedUpload";
    case Question::UploadStoredSerial:
        return "UploadStoredSerial";
    case Question::UploadStoredPiece:
        return "UploadStoredPiece";
    case Question::DeleteStoredTest:
        return "DeleteStoredTest";
    case Question::DeleteStoredBatch:
        return "DeleteStoredBatch";
    case Question::RestoreDeletedTest:
        return "RestoreDeletedTest";
    case Question::RejudgeVerdict:
        break;
    }
    return "RejudgeVerdict";
}

} // namespace q7rk
