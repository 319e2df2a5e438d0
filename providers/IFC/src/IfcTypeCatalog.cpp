#include "IfcTypeCatalog.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace ifc {

namespace {

struct Row {
  std::string_view upper;
  std::string_view name;
  uint8_t roles;
};

constexpr uint8_t kSpatial = TypeCatalog::kSpatial;
constexpr uint8_t kElement = TypeCatalog::kElement;
constexpr uint8_t kContext = TypeCatalog::kContext;
constexpr uint8_t kFeature = TypeCatalog::kFeature;
constexpr uint8_t kStorey = TypeCatalog::kStorey;

// Upper-case keyword, usual name, roles. Abstract supertypes are listed too: some writers
// instantiate them anyway and they still deserve their proper name.
constexpr Row kRows[] = {
    {"IFCACTUATOR", "IfcActuator", kElement},
    {"IFCAIRTERMINAL", "IfcAirTerminal", kElement},
    {"IFCAIRTERMINALBOX", "IfcAirTerminalBox", kElement},
    {"IFCAIRTOAIRHEATRECOVERY", "IfcAirToAirHeatRecovery", kElement},
    {"IFCALARM", "IfcAlarm", kElement},
    {"IFCALIGNMENT", "IfcAlignment", 0},
    {"IFCALIGNMENTCANT", "IfcAlignmentCant", 0},
    {"IFCALIGNMENTHORIZONTAL", "IfcAlignmentHorizontal", 0},
    {"IFCALIGNMENTSEGMENT", "IfcAlignmentSegment", 0},
    {"IFCALIGNMENTVERTICAL", "IfcAlignmentVertical", 0},
    {"IFCANNOTATION", "IfcAnnotation", 0},
    {"IFCAPPLICATION", "IfcApplication", 0},
    {"IFCASSET", "IfcAsset", 0},
    {"IFCAUDIOVISUALAPPLIANCE", "IfcAudioVisualAppliance", kElement},
    {"IFCAXIS2PLACEMENT2D", "IfcAxis2Placement2D", 0},
    {"IFCAXIS2PLACEMENT3D", "IfcAxis2Placement3D", 0},
    {"IFCBEAM", "IfcBeam", kElement},
    {"IFCBEAMSTANDARDCASE", "IfcBeamStandardCase", kElement},
    {"IFCBEAMTYPE", "IfcBeamType", 0},
    {"IFCBEARING", "IfcBearing", kElement},
    {"IFCBOILER", "IfcBoiler", kElement},
    {"IFCBOREHOLE", "IfcBorehole", kElement},
    {"IFCBRIDGE", "IfcBridge", kSpatial},
    {"IFCBRIDGEPART", "IfcBridgePart", kSpatial},
    {"IFCBUILDING", "IfcBuilding", kSpatial},
    {"IFCBUILDINGELEMENT", "IfcBuildingElement", kElement},
    {"IFCBUILDINGELEMENTCOMPONENT", "IfcBuildingElementComponent", kElement},
    {"IFCBUILDINGELEMENTPART", "IfcBuildingElementPart", kElement},
    {"IFCBUILDINGELEMENTPROXY", "IfcBuildingElementProxy", kElement},
    {"IFCBUILDINGSTOREY", "IfcBuildingStorey", kSpatial | kStorey},
    {"IFCBUILDINGSYSTEM", "IfcBuildingSystem", 0},
    {"IFCBUILTELEMENT", "IfcBuiltElement", kElement},
    {"IFCBURNER", "IfcBurner", kElement},
    {"IFCCABLECARRIERFITTING", "IfcCableCarrierFitting", kElement},
    {"IFCCABLECARRIERSEGMENT", "IfcCableCarrierSegment", kElement},
    {"IFCCABLEFITTING", "IfcCableFitting", kElement},
    {"IFCCABLESEGMENT", "IfcCableSegment", kElement},
    {"IFCCAISSONFOUNDATION", "IfcCaissonFoundation", kElement},
    {"IFCCARTESIANPOINT", "IfcCartesianPoint", 0},
    {"IFCCHILLER", "IfcChiller", kElement},
    {"IFCCHIMNEY", "IfcChimney", kElement},
    {"IFCCIVILELEMENT", "IfcCivilElement", kElement},
    {"IFCCOIL", "IfcCoil", kElement},
    {"IFCCOLUMN", "IfcColumn", kElement},
    {"IFCCOLUMNSTANDARDCASE", "IfcColumnStandardCase", kElement},
    {"IFCCOLUMNTYPE", "IfcColumnType", 0},
    {"IFCCOMMUNICATIONSAPPLIANCE", "IfcCommunicationsAppliance", kElement},
    {"IFCCOMPRESSOR", "IfcCompressor", kElement},
    {"IFCCONDENSER", "IfcCondenser", kElement},
    {"IFCCONTROLLER", "IfcController", kElement},
    {"IFCCONVEYORSEGMENT", "IfcConveyorSegment", kElement},
    {"IFCCOOLEDBEAM", "IfcCooledBeam", kElement},
    {"IFCCOOLINGTOWER", "IfcCoolingTower", kElement},
    {"IFCCOURSE", "IfcCourse", kElement},
    {"IFCCOVERING", "IfcCovering", kElement},
    {"IFCCURTAINWALL", "IfcCurtainWall", kElement},
    {"IFCDAMPER", "IfcDamper", kElement},
    {"IFCDEEPFOUNDATION", "IfcDeepFoundation", kElement},
    {"IFCDIRECTION", "IfcDirection", 0},
    {"IFCDISCRETEACCESSORY", "IfcDiscreteAccessory", kElement},
    {"IFCDISTRIBUTIONBOARD", "IfcDistributionBoard", kElement},
    {"IFCDISTRIBUTIONCHAMBERELEMENT", "IfcDistributionChamberElement", kElement},
    {"IFCDISTRIBUTIONCIRCUIT", "IfcDistributionCircuit", 0},
    {"IFCDISTRIBUTIONCONTROLELEMENT", "IfcDistributionControlElement", kElement},
    {"IFCDISTRIBUTIONELEMENT", "IfcDistributionElement", kElement},
    {"IFCDISTRIBUTIONFLOWELEMENT", "IfcDistributionFlowElement", kElement},
    {"IFCDISTRIBUTIONPORT", "IfcDistributionPort", 0},
    {"IFCDISTRIBUTIONSYSTEM", "IfcDistributionSystem", 0},
    {"IFCDOOR", "IfcDoor", kElement},
    {"IFCDOORSTANDARDCASE", "IfcDoorStandardCase", kElement},
    {"IFCDOORTYPE", "IfcDoorType", 0},
    {"IFCDUCTFITTING", "IfcDuctFitting", kElement},
    {"IFCDUCTSEGMENT", "IfcDuctSegment", kElement},
    {"IFCDUCTSILENCER", "IfcDuctSilencer", kElement},
    {"IFCEARTHWORKSCUT", "IfcEarthworksCut", kElement},
    {"IFCEARTHWORKSELEMENT", "IfcEarthworksElement", kElement},
    {"IFCEARTHWORKSFILL", "IfcEarthworksFill", kElement},
    {"IFCELECTRICALCIRCUIT", "IfcElectricalCircuit", 0},
    {"IFCELECTRICALELEMENT", "IfcElectricalElement", kElement},
    {"IFCELECTRICAPPLIANCE", "IfcElectricAppliance", kElement},
    {"IFCELECTRICDISTRIBUTIONBOARD", "IfcElectricDistributionBoard", kElement},
    {"IFCELECTRICFLOWSTORAGEDEVICE", "IfcElectricFlowStorageDevice", kElement},
    {"IFCELECTRICFLOWTREATMENTDEVICE", "IfcElectricFlowTreatmentDevice", kElement},
    {"IFCELECTRICGENERATOR", "IfcElectricGenerator", kElement},
    {"IFCELECTRICMOTOR", "IfcElectricMotor", kElement},
    {"IFCELECTRICTIMECONTROL", "IfcElectricTimeControl", kElement},
    {"IFCELEMENT", "IfcElement", kElement},
    {"IFCELEMENTASSEMBLY", "IfcElementAssembly", kElement},
    {"IFCELEMENTCOMPONENT", "IfcElementComponent", kElement},
    {"IFCELEMENTQUANTITY", "IfcElementQuantity", 0},
    {"IFCENERGYCONVERSIONDEVICE", "IfcEnergyConversionDevice", kElement},
    {"IFCENGINE", "IfcEngine", kElement},
    {"IFCEQUIPMENTELEMENT", "IfcEquipmentElement", kElement},
    {"IFCEVAPORATIVECOOLER", "IfcEvaporativeCooler", kElement},
    {"IFCEVAPORATOR", "IfcEvaporator", kElement},
    {"IFCEXTERNALSPATIALELEMENT", "IfcExternalSpatialElement", kSpatial},
    {"IFCEXTRUDEDAREASOLID", "IfcExtrudedAreaSolid", 0},
    {"IFCFACILITY", "IfcFacility", kSpatial},
    {"IFCFACILITYPART", "IfcFacilityPart", kSpatial},
    {"IFCFACILITYPARTCOMMON", "IfcFacilityPartCommon", kSpatial},
    {"IFCFAN", "IfcFan", kElement},
    {"IFCFASTENER", "IfcFastener", kElement},
    {"IFCFEATUREELEMENT", "IfcFeatureElement", kFeature},
    {"IFCFEATUREELEMENTADDITION", "IfcFeatureElementAddition", kFeature},
    {"IFCFEATUREELEMENTSUBTRACTION", "IfcFeatureElementSubtraction", kFeature},
    {"IFCFILTER", "IfcFilter", kElement},
    {"IFCFIRESUPPRESSIONTERMINAL", "IfcFireSuppressionTerminal", kElement},
    {"IFCFLOWCONTROLLER", "IfcFlowController", kElement},
    {"IFCFLOWFITTING", "IfcFlowFitting", kElement},
    {"IFCFLOWINSTRUMENT", "IfcFlowInstrument", kElement},
    {"IFCFLOWMETER", "IfcFlowMeter", kElement},
    {"IFCFLOWMOVINGDEVICE", "IfcFlowMovingDevice", kElement},
    {"IFCFLOWSEGMENT", "IfcFlowSegment", kElement},
    {"IFCFLOWSTORAGEDEVICE", "IfcFlowStorageDevice", kElement},
    {"IFCFLOWTERMINAL", "IfcFlowTerminal", kElement},
    {"IFCFLOWTREATMENTDEVICE", "IfcFlowTreatmentDevice", kElement},
    {"IFCFOOTING", "IfcFooting", kElement},
    {"IFCFURNISHINGELEMENT", "IfcFurnishingElement", kElement},
    {"IFCFURNITURE", "IfcFurniture", kElement},
    {"IFCGEOGRAPHICELEMENT", "IfcGeographicElement", kElement},
    {"IFCGEOMETRICREPRESENTATIONCONTEXT", "IfcGeometricRepresentationContext", 0},
    {"IFCGEOMETRICREPRESENTATIONSUBCONTEXT", "IfcGeometricRepresentationSubContext", 0},
    {"IFCGEOMODEL", "IfcGeomodel", kElement},
    {"IFCGEOSLICE", "IfcGeoslice", kElement},
    {"IFCGEOTECHNICALASSEMBLY", "IfcGeotechnicalAssembly", kElement},
    {"IFCGEOTECHNICALELEMENT", "IfcGeotechnicalElement", kElement},
    {"IFCGEOTECHNICALSTRATUM", "IfcGeotechnicalStratum", kElement},
    {"IFCGRID", "IfcGrid", 0},
    {"IFCGRIDAXIS", "IfcGridAxis", 0},
    {"IFCGROUP", "IfcGroup", 0},
    {"IFCHEATEXCHANGER", "IfcHeatExchanger", kElement},
    {"IFCHUMIDIFIER", "IfcHumidifier", kElement},
    {"IFCIMPACTPROTECTIONDEVICE", "IfcImpactProtectionDevice", kElement},
    {"IFCINTERCEPTOR", "IfcInterceptor", kElement},
    {"IFCINVENTORY", "IfcInventory", 0},
    {"IFCJUNCTIONBOX", "IfcJunctionBox", kElement},
    {"IFCKERB", "IfcKerb", kElement},
    {"IFCLAMP", "IfcLamp", kElement},
    {"IFCLIGHTFIXTURE", "IfcLightFixture", kElement},
    {"IFCLINEARPOSITIONINGELEMENT", "IfcLinearPositioningElement", 0},
    {"IFCLIQUIDTERMINAL", "IfcLiquidTerminal", kElement},
    {"IFCLOCALPLACEMENT", "IfcLocalPlacement", 0},
    {"IFCMARINEFACILITY", "IfcMarineFacility", kSpatial},
    {"IFCMARINEPART", "IfcMarinePart", kSpatial},
    {"IFCMATERIAL", "IfcMaterial", 0},
    {"IFCMECHANICALFASTENER", "IfcMechanicalFastener", kElement},
    {"IFCMEDICALDEVICE", "IfcMedicalDevice", kElement},
    {"IFCMEMBER", "IfcMember", kElement},
    {"IFCMEMBERSTANDARDCASE", "IfcMemberStandardCase", kElement},
    {"IFCMOBILETELECOMMUNICATIONSAPPLIANCE", "IfcMobileTelecommunicationsAppliance", kElement},
    {"IFCMOORINGDEVICE", "IfcMooringDevice", kElement},
    {"IFCMOTORCONNECTION", "IfcMotorConnection", kElement},
    {"IFCNAVIGATIONELEMENT", "IfcNavigationElement", kElement},
    {"IFCOBJECT", "IfcObject", 0},
    {"IFCOPENINGELEMENT", "IfcOpeningElement", kFeature},
    {"IFCOPENINGSTANDARDCASE", "IfcOpeningStandardCase", kFeature},
    {"IFCORGANIZATION", "IfcOrganization", 0},
    {"IFCOUTLET", "IfcOutlet", kElement},
    {"IFCOWNERHISTORY", "IfcOwnerHistory", 0},
    {"IFCPAVEMENT", "IfcPavement", kElement},
    {"IFCPERSON", "IfcPerson", 0},
    {"IFCPERSONANDORGANIZATION", "IfcPersonAndOrganization", 0},
    {"IFCPILE", "IfcPile", kElement},
    {"IFCPIPEFITTING", "IfcPipeFitting", kElement},
    {"IFCPIPESEGMENT", "IfcPipeSegment", kElement},
    {"IFCPLATE", "IfcPlate", kElement},
    {"IFCPLATESTANDARDCASE", "IfcPlateStandardCase", kElement},
    {"IFCPORT", "IfcPort", 0},
    {"IFCPOSITIONINGELEMENT", "IfcPositioningElement", 0},
    {"IFCPRODUCT", "IfcProduct", 0},
    {"IFCPRODUCTDEFINITIONSHAPE", "IfcProductDefinitionShape", 0},
    {"IFCPROJECT", "IfcProject", kContext},
    {"IFCPROJECTIONELEMENT", "IfcProjectionElement", kFeature},
    {"IFCPROJECTLIBRARY", "IfcProjectLibrary", kContext},
    {"IFCPROPERTYSET", "IfcPropertySet", 0},
    {"IFCPROPERTYSINGLEVALUE", "IfcPropertySingleValue", 0},
    {"IFCPROTECTIVEDEVICE", "IfcProtectiveDevice", kElement},
    {"IFCPROTECTIVEDEVICETRIPPINGUNIT", "IfcProtectiveDeviceTrippingUnit", kElement},
    {"IFCPROXY", "IfcProxy", 0},
    {"IFCPUMP", "IfcPump", kElement},
    {"IFCRAIL", "IfcRail", kElement},
    {"IFCRAILING", "IfcRailing", kElement},
    {"IFCRAILWAY", "IfcRailway", kSpatial},
    {"IFCRAILWAYPART", "IfcRailwayPart", kSpatial},
    {"IFCRAMP", "IfcRamp", kElement},
    {"IFCRAMPFLIGHT", "IfcRampFlight", kElement},
    {"IFCRECTANGLEPROFILEDEF", "IfcRectangleProfileDef", 0},
    {"IFCREFERENT", "IfcReferent", 0},
    {"IFCREINFORCEDSOIL", "IfcReinforcedSoil", kElement},
    {"IFCREINFORCINGBAR", "IfcReinforcingBar", kElement},
    {"IFCREINFORCINGELEMENT", "IfcReinforcingElement", kElement},
    {"IFCREINFORCINGMESH", "IfcReinforcingMesh", kElement},
    {"IFCRELAGGREGATES", "IfcRelAggregates", 0},
    {"IFCRELASSIGNSTOGROUP", "IfcRelAssignsToGroup", 0},
    {"IFCRELASSOCIATESMATERIAL", "IfcRelAssociatesMaterial", 0},
    {"IFCRELCONNECTSPATHELEMENTS", "IfcRelConnectsPathElements", 0},
    {"IFCRELCONTAINEDINSPATIALSTRUCTURE", "IfcRelContainedInSpatialStructure", 0},
    {"IFCRELDEFINESBYPROPERTIES", "IfcRelDefinesByProperties", 0},
    {"IFCRELDEFINESBYTYPE", "IfcRelDefinesByType", 0},
    {"IFCRELFILLSELEMENT", "IfcRelFillsElement", 0},
    {"IFCRELNESTS", "IfcRelNests", 0},
    {"IFCRELREFERENCEDINSPATIALSTRUCTURE", "IfcRelReferencedInSpatialStructure", 0},
    {"IFCRELSPACEBOUNDARY", "IfcRelSpaceBoundary", 0},
    {"IFCRELVOIDSELEMENT", "IfcRelVoidsElement", 0},
    {"IFCROAD", "IfcRoad", kSpatial},
    {"IFCROADPART", "IfcRoadPart", kSpatial},
    {"IFCROOF", "IfcRoof", kElement},
    {"IFCSANITARYTERMINAL", "IfcSanitaryTerminal", kElement},
    {"IFCSENSOR", "IfcSensor", kElement},
    {"IFCSHADINGDEVICE", "IfcShadingDevice", kElement},
    {"IFCSHAPEREPRESENTATION", "IfcShapeRepresentation", 0},
    {"IFCSIGN", "IfcSign", kElement},
    {"IFCSIGNAL", "IfcSignal", kElement},
    {"IFCSITE", "IfcSite", kSpatial},
    {"IFCSIUNIT", "IfcSIUnit", 0},
    {"IFCSLAB", "IfcSlab", kElement},
    {"IFCSLABELEMENTEDCASE", "IfcSlabElementedCase", kElement},
    {"IFCSLABSTANDARDCASE", "IfcSlabStandardCase", kElement},
    {"IFCSLABTYPE", "IfcSlabType", 0},
    {"IFCSOLARDEVICE", "IfcSolarDevice", kElement},
    {"IFCSPACE", "IfcSpace", kSpatial},
    {"IFCSPACEHEATER", "IfcSpaceHeater", kElement},
    {"IFCSPACETYPE", "IfcSpaceType", 0},
    {"IFCSPATIALELEMENT", "IfcSpatialElement", kSpatial},
    {"IFCSPATIALSTRUCTUREELEMENT", "IfcSpatialStructureElement", kSpatial},
    {"IFCSPATIALZONE", "IfcSpatialZone", kSpatial},
    {"IFCSTACKTERMINAL", "IfcStackTerminal", kElement},
    {"IFCSTAIR", "IfcStair", kElement},
    {"IFCSTAIRFLIGHT", "IfcStairFlight", kElement},
    {"IFCSTRUCTURALANALYSISMODEL", "IfcStructuralAnalysisModel", 0},
    {"IFCSTRUCTURALCURVECONNECTION", "IfcStructuralCurveConnection", 0},
    {"IFCSTRUCTURALCURVEMEMBER", "IfcStructuralCurveMember", 0},
    {"IFCSTRUCTURALLINEARACTION", "IfcStructuralLinearAction", 0},
    {"IFCSTRUCTURALLOADGROUP", "IfcStructuralLoadGroup", 0},
    {"IFCSTRUCTURALPLANARACTION", "IfcStructuralPlanarAction", 0},
    {"IFCSTRUCTURALPOINTACTION", "IfcStructuralPointAction", 0},
    {"IFCSTRUCTURALPOINTCONNECTION", "IfcStructuralPointConnection", 0},
    {"IFCSTRUCTURALPOINTREACTION", "IfcStructuralPointReaction", 0},
    {"IFCSTRUCTURALRESULTGROUP", "IfcStructuralResultGroup", 0},
    {"IFCSTRUCTURALSURFACECONNECTION", "IfcStructuralSurfaceConnection", 0},
    {"IFCSTRUCTURALSURFACEMEMBER", "IfcStructuralSurfaceMember", 0},
    {"IFCSURFACEFEATURE", "IfcSurfaceFeature", kFeature},
    {"IFCSWITCHINGDEVICE", "IfcSwitchingDevice", kElement},
    {"IFCSYSTEM", "IfcSystem", 0},
    {"IFCSYSTEMFURNITUREELEMENT", "IfcSystemFurnitureElement", kElement},
    {"IFCTANK", "IfcTank", kElement},
    {"IFCTENDON", "IfcTendon", kElement},
    {"IFCTENDONANCHOR", "IfcTendonAnchor", kElement},
    {"IFCTENDONCONDUIT", "IfcTendonConduit", kElement},
    {"IFCTRACKELEMENT", "IfcTrackElement", kElement},
    {"IFCTRANSFORMER", "IfcTransformer", kElement},
    {"IFCTRANSPORTELEMENT", "IfcTransportElement", kElement},
    {"IFCTUBEBUNDLE", "IfcTubeBundle", kElement},
    {"IFCUNITARYCONTROLELEMENT", "IfcUnitaryControlElement", kElement},
    {"IFCUNITARYEQUIPMENT", "IfcUnitaryEquipment", kElement},
    {"IFCUNITASSIGNMENT", "IfcUnitAssignment", 0},
    {"IFCVALVE", "IfcValve", kElement},
    {"IFCVIBRATIONDAMPER", "IfcVibrationDamper", kElement},
    {"IFCVIBRATIONISOLATOR", "IfcVibrationIsolator", kElement},
    {"IFCVIRTUALELEMENT", "IfcVirtualElement", kElement},
    {"IFCVOIDINGFEATURE", "IfcVoidingFeature", kFeature},
    {"IFCWALL", "IfcWall", kElement},
    {"IFCWALLELEMENTEDCASE", "IfcWallElementedCase", kElement},
    {"IFCWALLSTANDARDCASE", "IfcWallStandardCase", kElement},
    {"IFCWALLTYPE", "IfcWallType", 0},
    {"IFCWASTETERMINAL", "IfcWasteTerminal", kElement},
    {"IFCWINDOW", "IfcWindow", kElement},
    {"IFCWINDOWSTANDARDCASE", "IfcWindowStandardCase", kElement},
    {"IFCWINDOWTYPE", "IfcWindowType", 0},
    {"IFCZONE", "IfcZone", 0},
};

const std::vector<Row>& SortedRows() {
  static const std::vector<Row> rows = [] {
    std::vector<Row> sorted(std::begin(kRows), std::end(kRows));
    std::sort(sorted.begin(), sorted.end(),
              [](const Row& a, const Row& b) { return a.upper < b.upper; });
    return sorted;
  }();
  return rows;
}

// Type -> its direct supertype, for the types a model's tree commonly holds: not the
// whole schema, enough that a type filter finds the usual subtypes.
constexpr std::pair<std::string_view, std::string_view> kParents[] = {
    {"IfcWallStandardCase", "IfcWall"},
    {"IfcWallElementedCase", "IfcWall"},
    {"IfcSlabStandardCase", "IfcSlab"},
    {"IfcSlabElementedCase", "IfcSlab"},
    {"IfcBeamStandardCase", "IfcBeam"},
    {"IfcColumnStandardCase", "IfcColumn"},
    {"IfcMemberStandardCase", "IfcMember"},
    {"IfcPlateStandardCase", "IfcPlate"},
    {"IfcDoorStandardCase", "IfcDoor"},
    {"IfcWindowStandardCase", "IfcWindow"},
    {"IfcOpeningStandardCase", "IfcOpeningElement"},
    {"IfcWall", "IfcBuildingElement"},
    {"IfcSlab", "IfcBuildingElement"},
    {"IfcBeam", "IfcBuildingElement"},
    {"IfcColumn", "IfcBuildingElement"},
    {"IfcMember", "IfcBuildingElement"},
    {"IfcPlate", "IfcBuildingElement"},
    {"IfcDoor", "IfcBuildingElement"},
    {"IfcWindow", "IfcBuildingElement"},
    {"IfcCovering", "IfcBuildingElement"},
    {"IfcRailing", "IfcBuildingElement"},
    {"IfcRamp", "IfcBuildingElement"},
    {"IfcRampFlight", "IfcBuildingElement"},
    {"IfcRoof", "IfcBuildingElement"},
    {"IfcStair", "IfcBuildingElement"},
    {"IfcStairFlight", "IfcBuildingElement"},
    {"IfcCurtainWall", "IfcBuildingElement"},
    {"IfcFooting", "IfcBuildingElement"},
    {"IfcPile", "IfcBuildingElement"},
    {"IfcBuildingElementProxy", "IfcBuildingElement"},
    {"IfcChimney", "IfcBuildingElement"},
    {"IfcShadingDevice", "IfcBuildingElement"},
    {"IfcFurniture", "IfcFurnishingElement"},
    {"IfcSystemFurnitureElement", "IfcFurnishingElement"},
    {"IfcOpeningElement", "IfcFeatureElementSubtraction"},
    {"IfcFeatureElementSubtraction", "IfcFeatureElement"},
    {"IfcFlowTerminal", "IfcDistributionFlowElement"},
    {"IfcFlowSegment", "IfcDistributionFlowElement"},
    {"IfcFlowFitting", "IfcDistributionFlowElement"},
    {"IfcFlowController", "IfcDistributionFlowElement"},
    {"IfcEnergyConversionDevice", "IfcDistributionFlowElement"},
    {"IfcDistributionFlowElement", "IfcDistributionElement"},
    {"IfcDistributionControlElement", "IfcDistributionElement"},
    {"IfcBuildingElement", "IfcElement"},
    {"IfcFurnishingElement", "IfcElement"},
    {"IfcFeatureElement", "IfcElement"},
    {"IfcDistributionElement", "IfcElement"},
    {"IfcElementAssembly", "IfcElement"},
    {"IfcSite", "IfcSpatialStructureElement"},
    {"IfcBuilding", "IfcSpatialStructureElement"},
    {"IfcBuildingStorey", "IfcSpatialStructureElement"},
    {"IfcSpace", "IfcSpatialStructureElement"},
    {"IfcSpatialStructureElement", "IfcSpatialElement"},
    {"IfcElement", "IfcProduct"},
    {"IfcSpatialElement", "IfcProduct"},
};

std::string_view ParentOf(std::string_view name) {
  for (const auto& [type, parent] : kParents)
    if (type == name) return parent;
  return {};
}

}  // namespace

std::string TypeCatalog::Supertypes(std::string_view name) {
  std::string out;
  // The table has no cycle; the bound only keeps a mistake in it from hanging.
  for (int depth = 0; depth < 16; ++depth) {
    name = ParentOf(name);
    if (name.empty()) break;
    if (!out.empty()) out += ' ';
    out += name;
  }
  return out;
}

TypeCatalog::Info TypeCatalog::Lookup(std::string_view upperKeyword) {
  const auto& rows = SortedRows();
  const auto it =
      std::lower_bound(rows.begin(), rows.end(), upperKeyword,
                       [](const Row& r, std::string_view key) { return r.upper < key; });
  if (it == rows.end() || it->upper != upperKeyword) return {};
  return {it->name, it->roles, true};
}

std::string TypeCatalog::DerivedName(std::string_view upperKeyword) {
  std::string out;
  out.reserve(upperKeyword.size());
  std::size_t pos = 0;
  if (upperKeyword.size() > 3 && upperKeyword.substr(0, 3) == "IFC") {
    out = "Ifc";
    pos = 3;
  }
  bool wordStart = true;
  for (; pos < upperKeyword.size(); ++pos) {
    char c = upperKeyword[pos];
    if (c >= 'A' && c <= 'Z' && !wordStart) c = static_cast<char>(c - 'A' + 'a');
    out.push_back(c);
    wordStart = (c == '_');
  }
  return out;
}

}  // namespace ifc
