#pragma once

namespace sup::host {
class TADOIBQuery;
}

namespace sup07700 {

// The purchasing branch of a branch (`qryCentCmp`): parameter P_CDFILIAL; fields CDFILIAL (the
// central purchasing branch, or the branch itself) and NMFILIAL_CENTRAL. Both the maintenance
// and the filter screen run it for the processing branch.
void SetCentCmpQuery(sup::host::TADOIBQuery& query);

// The item editing checks of the maintenance screen:
//  - qryVdProduto: the product of P_CDPRODUTO when it has a stock product (CDPRODUTO,
//    CDARVPROD, CDNVPRODUTO, NMPRODUTO, SGUNIDADE);
//  - qryVer_ProdNCmp: CONTA, how many "not purchasable" markings of branch P_CDFILDEST lie on the
//    path of tree code P_CDPRODUTO below its deepest "purchasable" marking;
//  - qryMarca: the brand P_CDMARCA (CDMARCA, NMMARCA);
//  - qryFiliCent: CDFILCENTCMP, the central purchasing branch of P_CDFILIAL (the branch itself
//    when it has none).
void SetVdProdutoQuery(sup::host::TADOIBQuery& query);
void SetVerProdNCmpQuery(sup::host::TADOIBQuery& query);
void SetMarcaQuery(sup::host::TADOIBQuery& query);
void SetFiliCentQuery(sup::host::TADOIBQuery& query);
// qryPesqMarcTodas: every brand (CDMARCA "Código", NMMARCA "Nome") in code order.
void SetPesqMarcTodasQuery(sup::host::TADOIBQuery& query);
// qryGerente: the members of every operator group authorised "BLIP" (CDOPERADOR "Código",
// NMOPERADOR "Nome"), by code.
void SetGerenteQuery(sup::host::TADOIBQuery& query);

// The automatic alteration's checks:
//  - qryPesoUnid: VRPESOUNID, the unit weight of product P_CDPRODUTO;
//  - qryCentCmp: the central purchasing branch of P_CDFILIAL (CDFILIAL, the branch itself when
//    it has none) with that branch's name (NMFILIAL_CENTRAL);
//  - qryParamPeriodicidade: the operator groups exempt from the purchase calendar of the
//    central branch P_CDFILIAL (authorisation "PEOL"): CDGRUPOFORAPERI, DSGRUPOFORAPERI;
//  - qryGrupoOperForaPeri: CDOPERADOR when operator P_CDOPERADOR belongs to any such group.
void SetPesoUnidQuery(sup::host::TADOIBQuery& query);
void SetCentCmpOfBranchQuery(sup::host::TADOIBQuery& query);
void SetParamPeriodicidadeQuery(sup::host::TADOIBQuery& query);
void SetGrupoOperForaPeriQuery(sup::host::TADOIBQuery& query);

} // namespace sup07700
